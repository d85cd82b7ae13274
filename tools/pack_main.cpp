// morra-pack: builds the installer's payload and profile from copies of the game.
//
//   morra-pack --original GAME.app --english-cards GAME.app --translated GAME.app
//              [--earlier GAME.app]... --out DIR [--threads N]
//   morra-pack --build NUMBER --original GAME.app --english-cards GAME.app --translated GAME.app
//              [--earlier GAME.app]... [--build NUMBER ...]... --out DIR [--threads N]
//
// --original is the game as the build ships it; --english-cards and --translated are copies with
// the translation installed, skill cards left English and translated; each --earlier is a copy as
// an earlier release of the translation left it. DIR receives Payload/ and profile.json, the build
// inputs MORRA_LUMEN_PAYLOAD and MORRA_LUMEN_PROFILE. Without --build the copies are of build
// 57314208 and Payload/ holds its eleven payload files; each --build opens the copies of one build,
// in the order the installer tries them, and Payload/<build>/ holds what each build does not share
// with an earlier one.
#include <cstdlib>
#include <iostream>
#include <string>

#include "Pack.h"

namespace {

constexpr const char* kUsage =
    "usage: morra-pack [--build NUMBER] --original GAME.app --english-cards GAME.app --translated GAME.app "
    "[--earlier GAME.app]... [--build NUMBER ...]... --out DIR [--threads N]\n";

// Reads the options into `inputs`; returns the complaint, or an empty text.
std::string parseOptions(int argc, char** argv, morra::tools::PackInputs& inputs) {
    inputs.builds.emplace_back();
    bool grouped = false, copiesBeforeBuild = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return option + " needs a value";
        const std::string value = argv[++i];
        morra::tools::BuildCopies& build = inputs.builds.back();
        if (option == "--build") {
            if (grouped) inputs.builds.emplace_back();
            grouped = true;
            inputs.builds.back().build = value;
            continue;
        }
        if (option == "--original" || option == "--english-cards" || option == "--translated" || option == "--earlier")
            copiesBeforeBuild |= !grouped;
        if (option == "--original") build.original = value;
        else if (option == "--english-cards") build.englishCards = value;
        else if (option == "--translated") build.translated = value;
        else if (option == "--earlier") build.earlier.push_back(value);
        else if (option == "--out") inputs.out = value;
        else if (option == "--threads") inputs.differ.threads = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        else return "unknown option " + option;
    }
    if (grouped && copiesBeforeBuild) return "with --build, every copy follows the --build it belongs to";
    for (const morra::tools::BuildCopies& build : inputs.builds)
        if (build.original.empty() || build.englishCards.empty() || build.translated.empty())
            return (build.build.empty() ? std::string() : "build " + build.build + ": ") +
                   "--original, --english-cards and --translated are required";
    if (inputs.out.empty()) return "--out is required";
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    morra::tools::PackInputs inputs;
    const std::string complaint = parseOptions(argc, argv, inputs);
    if (!complaint.empty()) {
        std::cerr << "morra-pack: " << complaint << "\n" << kUsage;
        return 2;
    }
    inputs.progress = [](const std::string& line) { std::cout << line << std::endl; };
    try {
        morra::tools::pack(inputs);
    } catch (const std::exception& error) {
        std::cerr << "morra-pack: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
