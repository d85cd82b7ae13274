// Build step: checks a profile file and its payload folder, writes the profile as C++ constant
// data for the program, and copies the payload files into the program's resources. A profile
// that cannot be used stops the build with a message naming the key or the file.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ProfileFile.h"

namespace fs = std::filesystem;
using morra::game::Profile;

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string list(const std::vector<std::string>& values) {
    std::string out = "{";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + quoted(values[i]);
    return out + "}";
}

void writeBuild(std::ostream& out, const Profile& profile) {
    out << "        {\n            {{\n";
    for (const auto& asset : profile.assets)
        out << "                {" << quoted(asset.original) << ", " << quoted(asset.englishCards) << ", "
            << quoted(asset.translatedCards) << ", " << list(asset.earlierReleases) << "},\n";
    out << "            }},\n            {\n";
    for (const auto& file : profile.payload)
        out << "                {" << quoted(file.name) << ", " << quoted(file.digest) << "},\n";
    out << "            },\n            {{\n";
    for (const auto& added : profile.addedFiles)
        out << "                {" << quoted(added.source) << ", " << quoted(added.expected) << ", "
            << list(added.replaceable) << "},\n";
    out << "            }},\n            " << quoted(profile.build) << ",\n            " << quoted(profile.payloadFolder)
        << ",\n        },\n";
}

std::string toCpp(const morra::game::KnownBuilds& builds) {
    std::ostringstream out;
    out << "// Written by the build from the profile file; do not edit.\n"
        << "#include \"game/Profile.h\"\n\nnamespace morra::game {\n\nconst KnownBuilds& builtInBuilds() {\n"
        << "    static const KnownBuilds builds{\n";
    for (const Profile& profile : builds) writeBuild(out, profile);
    out << "    };\n    return builds;\n}\n\n}  // namespace morra::game\n";
    return out.str();
}

void writeIfChanged(const fs::path& path, const std::string& contents) {
    std::ifstream existing(path, std::ios::binary);
    std::stringstream current;
    current << existing.rdbuf();
    if (existing && current.str() == contents) return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw morra::tools::ProfileFileError("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    fs::path profilePath, payload, output, resources;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--profile")) profilePath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--payload")) payload = argv[i + 1];
        else if (!std::strcmp(argv[i], "--output")) output = argv[i + 1];
        else if (!std::strcmp(argv[i], "--resources")) resources = argv[i + 1];
    }
    if (profilePath.empty() || payload.empty() || output.empty() || resources.empty()) {
        std::cerr << "usage: morra-profile-compiler --profile FILE --payload DIR --output FILE.cpp --resources DIR\n";
        return 2;
    }
    try {
        const morra::game::KnownBuilds builds = morra::tools::readProfileFile(profilePath);
        morra::tools::checkPayload(builds, payload);
        const fs::path payloadOut = resources / "Payload";
        fs::remove_all(payloadOut);
        for (const fs::path& file : morra::tools::storedPayloadFiles(builds)) {
            fs::create_directories((payloadOut / file).parent_path());
            fs::copy_file(payload / file, payloadOut / file);
        }
        writeIfChanged(output, toCpp(builds));
    } catch (const std::exception& error) {
        std::cerr << "MORRA_LUMEN_PROFILE " << profilePath.string() << ": " << error.what() << "\n";
        return 1;
    }
    return 0;
}
