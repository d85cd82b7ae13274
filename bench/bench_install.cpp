// Installs the translation into a synthetic game of about 1 GiB (five assets and three source
// bundles) with the installer's engine, with and without a progress callback, and in the same run
// does the same work with a plain shell pipeline of sha256sum, cp and /usr/bin/bspatch (digests,
// backups verified, patches, final check). Prints the wall times and peak memories and the ratios.
//
//   bench_install [WORK_FOLDER] [ASSET_BYTES]   (default: ./bench-install, 1 GiB)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "FixtureGenerator.h"
#include "context/InstallContext.h"
#include "operations/Install.h"

namespace fs = std::filesystem;
using namespace morra;

namespace {

// The same steps as the engine's install of the translated-card variant, as a shell script.
std::string pipelineScript(const fs::path& app, const fs::path& payload, const fs::path& support) {
    return R"(set -eu
data=')" + (app / "Contents/Resources/Data").string() + R"('
payload=')" + payload.string() + R"('
store=')" + (support / "Steam-57314208").string() + R"('
cd "$data"
for f in resources.assets level2 level3 sharedassets0.assets sharedassets1.assets; do sha256sum "$f" > /dev/null; done
mkdir -p "$store"
for f in resources.assets level2 level3 sharedassets0.assets sharedassets1.assets; do
  cp "$f" "$store/$f"; sha256sum "$store/$f" > /dev/null
done
b=StreamingAssets/AssetBundles/OSX
cp "$payload/russianblind" "$b/lockits/.tmp"; sha256sum "$b/lockits/.tmp" > /dev/null; mv "$b/lockits/.tmp" "$b/lockits/russianblind"
add() { sha256sum "$b/$1" > /dev/null; bspatch "$b/$1" "$b/$2.tmp" "$payload/$3"; sha256sum "$b/$2.tmp" > /dev/null; mv "$b/$2.tmp" "$b/$2"; }
add fonts/russian fonts/russianblind fonts-russianblind.bsdiff
add images/english images/russianblind images-russianblind.bsdiff
add images_dyslexic/english images_dyslexic/russianblind images-dyslexic-russianblind.bsdiff
chain() { bspatch "$1" ".$1.1" "$payload/$2"; bspatch ".$1.1" ".$1.2" "$payload/$3"; rm ".$1.1"; sha256sum ".$1.2" > /dev/null; mv ".$1.2" "$1"; }
one() { bspatch "$1" ".$1.1" "$payload/$2"; sha256sum ".$1.1" > /dev/null; mv ".$1.1" "$1"; }
chain resources.assets resources.assets.bsdiff resources-skill-cards.delta.bsdiff
chain level2 level2.bsdiff level2-skill-cards.delta.bsdiff
one level3 level3.bsdiff
one sharedassets0.assets sharedassets0.assets.bsdiff
one sharedassets1.assets sharedassets1.assets.bsdiff
for f in resources.assets level2 level3 sharedassets0.assets sharedassets1.assets; do sha256sum "$f" > /dev/null; done
)";
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("bench-install"));
    const std::uint64_t size = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : (1ull << 30);
    fs::remove_all(work);
    std::printf("generating a %.0f MiB game...\n", static_cast<double>(size) / (1 << 20));
    const fs::path payload = work / "Payload";
    const fs::path pristine = work / "pristine.app";
    game::Profile profile;
    {
        // The fixture is large; only what is on disk and the profile outlive this scope, so the
        // measured processes do not inherit it.
        const tools::Fixture fixture = tools::makeFixture(11, size);
        tools::writePayload(fixture, payload);
        tools::writeGame(fixture, pristine, tools::GameState::Untouched);
        profile = fixture.profile;
    }
    std::uintmax_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(pristine))
        if (entry.is_regular_file()) total += entry.file_size();

    bench::Measurement ours{1e9, 0}, reporting{1e9, 0}, pipeline{1e9, 0};
    for (int round = 0; round < 2; ++round) {
        for (int way = 0; way < 3; ++way) {
            const fs::path app = work / "game" / "morra.app";
            const fs::path support = work / "support";
            fs::remove_all(work / "game");
            fs::remove_all(support);
            fs::create_directories(app.parent_path());
            fs::copy(pristine, app, fs::copy_options::recursive);
            ::sync();
            bench::Measurement m;
            if (way < 2) {
                // The window's way: every report handed on, as it would be to the main thread.
                std::uint64_t reports = 0;
                const core::ProgressCallback progress = [&reports](const core::Progress&) { ++reports; };
                m = bench::measureInChild([&] {
                    ::setenv("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.c_str(), 1);
                    ::setenv("MORRA_LUMEN_INSTALLER_GAME_SETTINGS", (work / "Settings.json").c_str(), 1);
                    const context::InstallContext engine(files::FileManager(), game::KnownBuilds{profile}, payload);
                    morra::operations::install(engine, app, core::SkillCards::Translated,
                                               way == 1 ? progress : core::ProgressCallback());
                    return way == 1 && reports == 0 ? 1 : 0;
                });
                bench::Measurement& best = way == 0 ? ours : reporting;
                if (m.seconds < best.seconds) best.seconds = m.seconds;
                best.peakKiB = std::max(best.peakKiB, m.peakKiB);
            } else {
                const fs::path script = work / "pipeline.sh";
                std::ofstream(script) << pipelineScript(app, payload, support);
                m = bench::measureInChild([&] { return std::system(("bash '" + script.string() + "'").c_str()) == 0 ? 0 : 1; });
                if (m.seconds < pipeline.seconds) pipeline.seconds = m.seconds;
                pipeline.peakKiB = std::max(pipeline.peakKiB, m.peakKiB);
            }
        }
    }
    std::printf("game: %.0f MiB (five assets and three source bundles)\n", static_cast<double>(total) / (1 << 20));
    std::printf("installer engine:                 %7.2f s  peak %7.1f MiB\n", ours.seconds, ours.peakKiB / 1024.0);
    std::printf("installer engine with progress:   %7.2f s  peak %7.1f MiB\n", reporting.seconds, reporting.peakKiB / 1024.0);
    std::printf("sha256sum + cp + bspatch pipeline: %7.2f s  peak %7.1f MiB\n", pipeline.seconds, pipeline.peakKiB / 1024.0);
    std::printf("ratio engine/pipeline: time %.2f, peak memory %.2f\n", ours.seconds / pipeline.seconds,
                static_cast<double>(ours.peakKiB) / static_cast<double>(pipeline.peakKiB));
    std::printf("ratio with/without progress: time %.3f, peak memory %.3f\n", reporting.seconds / ours.seconds,
                static_cast<double>(reporting.peakKiB) / static_cast<double>(ours.peakKiB));
    fs::remove_all(work);
    return 0;
}
