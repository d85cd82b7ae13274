// A program that sleeps for 30 seconds: the tests copy it into a fake game and run the copy. A
// system program will not do, as macOS kills a copy of one of its own signed programs.
#include <unistd.h>

int main() {
    ::sleep(30);
}
