// A program that sleeps for the seconds it is given: the tests copy it into a fake game and run the
// copy. A system program will not do, as macOS kills a copy of one of its own signed programs.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    std::this_thread::sleep_for(std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 30));
    return 0;
}
