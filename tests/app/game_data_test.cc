// The game's data as the build makes it: committed text in data/, generated assets,
// one npk archive per data folder in the build's home:, and the assets loading from
// those archives through the game's own loaders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppMain.h"
#include "audio/nWavStream.h"
#include "gfx/nGfxServer.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nDirectory.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicFlash.h"
#include "scene/nMeshNode.h"
#include "tests/kernel/TestLog.h"
#include "tests/platform/SdlTestEnvironment.h"

namespace {

namespace fs = std::filesystem;

const auto* const kVideo = ::testing::AddGlobalTestEnvironment(new bwtest::SdlVideoEnvironment);

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path SourceDir() {
    const char* src = std::getenv("BW_SOURCE_DIR");
    return src ? fs::path(src) : fs::path();
}

// Files below `dir` by their path relative to it ('/'-separated).
std::set<std::string> FilesBelow(const fs::path& dir) {
    std::set<std::string> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.is_regular_file()) files.insert(fs::relative(e.path(), dir).generic_string());
    }
    return files;
}

// The top-level data folders that are packed: all of data/ but bin/, and what the
// generators made.
std::set<std::string> PackedFolders(const fs::path& genDir) {
    std::set<std::string> folders;
    for (const auto& e : fs::directory_iterator(SourceDir() / "data")) {
        if (e.is_directory() && e.path().filename() != "bin") folders.insert(e.path().filename().string());
    }
    if (fs::is_directory(genDir)) {
        for (const auto& g : fs::directory_iterator(genDir)) {
            if (!g.is_directory()) continue;
            for (const auto& e : fs::directory_iterator(g.path())) {
                if (e.is_directory()) folders.insert(e.path().filename().string());
            }
        }
    }
    return folders;
}

// Standard output of a command, empty when it failed.
std::string Output(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;) out.append(buf, n);
    const int rc = ::pclose(p);
    if (status) *status = rc;
    return rc == 0 ? out : std::string();
}

const fs::path kHome = BW_HOME_DIR;

TEST(GameDataTest, EachDataFolderIsOneArchiveThatListsEveryFileAndNoLooseCopyStays) {
    const fs::path data = SourceDir() / "data";
    const fs::path generated = kHome / "datagen";
    const std::set<std::string> folders = PackedFolders(generated);
    for (const char* expected : {"flash", "meshes", "repository", "sounds", "textures", "ui"})
        EXPECT_EQ(folders.count(expected), 1u) << expected;
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(fs::is_regular_file(kHome / (folder + ".npk")));
        // A loose folder would win over the archive.
        EXPECT_FALSE(fs::exists(fs::symlink_status(kHome / folder)));

        // What should be inside: the committed files and the generated ones, with sizes.
        std::map<std::string, uintmax_t> want;
        for (const std::string& f : FilesBelow(data / folder)) want[folder + "/" + f] = fs::file_size(data / folder / f);
        for (const auto& g : fs::directory_iterator(generated)) {
            for (const std::string& f : FilesBelow(g.path() / folder))
                want[folder + "/" + f] = fs::file_size(g.path() / folder / f);
        }
        std::map<std::string, uintmax_t> listed;
        std::istringstream lines(Output("'" BW_NPKPACK "' -l '" + (kHome / (folder + ".npk")).string() + "'"));
        for (std::string line; std::getline(lines, line);) {
            const size_t tab = line.find('\t');
            if (tab != std::string::npos) listed[line.substr(0, tab)] = std::stoull(line.substr(tab + 1));
            else EXPECT_EQ(line.back(), '/') << line;  // a directory
        }
        EXPECT_EQ(listed, want);
    }
    // The save games' folder stays loose; so does bin/.
    EXPECT_TRUE(fs::is_directory(kHome / "save"));
    EXPECT_FALSE(fs::exists(kHome / "bin.npk"));
    for (const auto& e : fs::directory_iterator(data / "bin" / "win32"))
        EXPECT_TRUE(fs::exists(kHome / "bin" / "win32" / e.path().filename())) << e.path();
}

// Generators and packer are run as the build runs them, twice, into folders of their own.
TEST(GameDataTest, GeneratingAndPackingTwiceGivesTheSameBytes) {
    const fs::path work = fs::path(testing::TempDir()) / ("bw_datagen_" + std::to_string(::getpid()));
    fs::remove_all(work);
    std::vector<std::string> generators;
    for (const auto& e : fs::directory_iterator(SourceDir() / "tools" / "datagen")) {
        const std::string name = e.path().filename().string();
        if (name.rfind("gen_", 0) == 0 && e.path().extension() == ".py") generators.push_back(e.path().string());
    }
    std::sort(generators.begin(), generators.end());
    ASSERT_FALSE(generators.empty());
    std::string list;
    for (const std::string& g : generators) list += (list.empty() ? "" : ";") + g;
    // "a" is packed twice: the second time, an archive of a folder that has gone since
    // the first is removed.
    for (const char* run : {"a", "a", "b"}) {
        const fs::path home = work / run;
        if (fs::exists(home / "stage.list")) {
            std::ofstream(home / "stage.list", std::ios::app) << "gone\n";
            std::ofstream(home / "gone.npk") << "an archive of a folder no longer packed";
        }
        fs::create_directories(home);
        const std::string cmd = "'" BW_CMAKE "' -DBW_DATA_DIR='" + (SourceDir() / "data").string() +
                                "' -DBW_GEN_DIR='" + (home / "datagen").string() + "' -DBW_HOME_DIR='" +
                                home.string() + "' -DBW_NPKPACK='" BW_NPKPACK "' -DBW_PYTHON3='" BW_PYTHON3 "' '-DBW_GENERATORS=" +
                                list + "' -P '" + (SourceDir() / "cmake" / "PackData.cmake").string() + "' 2>&1";
        int status = -1;
        Output(cmd, &status);
        ASSERT_EQ(status, 0) << cmd;
    }
    EXPECT_FALSE(fs::exists(work / "a" / "gone.npk"));
    const std::set<std::string> a = FilesBelow(work / "a"), b = FilesBelow(work / "b");
    EXPECT_EQ(a, b);
    int archives = 0;
    for (const std::string& f : a) {
        SCOPED_TRACE(f);
        archives += fs::path(f).extension() == ".npk";
        EXPECT_TRUE(Slurp(work / "a" / f) == Slurp(work / "b" / f));
    }
    EXPECT_EQ(archives, int(PackedFolders(work / "a" / "datagen").size()));
    fs::remove_all(work);
}

// Binary files are made by the generators; what is committed reads as text, except the
// two pictures our own scripts in tools/ draw.
TEST(GameDataTest, EveryCommittedDataFileIsTextButTheLoadingImageAndTheIcon) {
    const fs::path data = SourceDir() / "data";
    const std::set<std::string> pictures = {"textures/loadingscreen.png", "bin/win32/brinewick.bmp"};
    const std::set<std::string> files = FilesBelow(data);
    for (const std::string& p : pictures) EXPECT_EQ(files.count(p), 1u) << p;
    for (const std::string& f : files) {
        // Archive lookups compare names exactly; paths are lower-cased.
        std::string lower = f;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        EXPECT_EQ(f, lower);
        if (pictures.count(f)) continue;
        const std::string bytes = Slurp(data / f);
        const auto control = std::find_if(bytes.begin(), bytes.end(), [](unsigned char c) {
            return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
        });
        EXPECT_TRUE(control == bytes.end()) << f << " holds the byte " << int(uint8_t(*control)) << " at "
                                            << (control - bytes.begin());
    }
}

// The game's own servers, started as the game starts them (archives mounted from
// "home:"), read every mesh, picture, sound and movie of the archives without an error.
class GameAssetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.Build();
        app.OpenDisplay();
        ks = app.GetKernel();
        ks->SetLogHandler(&log);
        files = ks->GetFileServer();
        gfx = static_cast<nGfxServer*>(ks->Lookup("/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
    }

    // Every file below an archive directory, listed through the file server.
    void List(const std::string& dir, std::vector<std::string>& out) {
        nDirectory* d = files->NewDirectoryObject();
        if (d->Open(dir.c_str()) && !d->IsEmpty()) {
            do {
                const std::string name = d->GetEntryName();
                if (d->GetEntryType() == nDirectory::DIRECTORY) List(name, out);
                else out.push_back(name);
            } while (d->SetToNextEntry());
        }
        delete d;
    }

    bbox3 MeshBox(const std::string& file) {
        auto* mesh = static_cast<nMeshNode*>(ks->New("nmeshnode", ("/usr/meshes/m" + std::to_string(++made)).c_str()));
        mesh->SetFileName(file.c_str());
        bbox3 box;
        if (mesh->LoadMesh() && mesh->GetVertexBuffer()) box = mesh->GetVertexBuffer()->GetBoundingBox();
        else ADD_FAILURE() << file << " does not load";
        return box;
    }

    nTexture* Texture(const std::string& file) {
        nTexture* t = gfx->NewTexture(("tex" + std::to_string(++made)).c_str());
        t->SetFileNames(file.c_str(), nullptr);
        t->SetHighQuality(true);
        EXPECT_TRUE(t->Load()) << file;
        return t;
    }

    nTestLog log;  // outlives the game's shutdown
    AppMain app;
    nKernelServer* ks = nullptr;
    nFileServer2* files = nullptr;
    nGfxServer* gfx = nullptr;
    int made = 0;
};

TEST_F(GameAssetsTest, EveryMeshPictureSoundAndMovieInTheArchivesLoadsWithoutAnError) {
    std::vector<std::string> all;
    for (const char* folder : {"home:meshes", "home:textures", "home:sounds", "home:ui", "home:flash"}) List(folder, all);
    int meshes = 0, pictures = 0, sounds = 0, movies = 0;
    for (const std::string& f : all) {
        SCOPED_TRACE(f);
        const std::string ext = fs::path(f).extension().string();
        if (ext == ".n3d") {
            const bbox3 box = MeshBox(f);
            EXPECT_LT(box.vmin.x, box.vmax.x);
            meshes++;
        } else if (ext == ".png" || ext == ".bmp" || ext == ".jpg") {
            nTexture* t = Texture(f);
            EXPECT_GT(t->GetWidth(), 0);
            pictures++;
        } else if (ext == ".wav") {
            auto* s = static_cast<nWavStream*>(ks->New("nwavstream", ("/usr/sounds/s" + std::to_string(++made)).c_str()));
            EXPECT_TRUE(s->Open(f.c_str(), false));
            EXPECT_GT(s->GetSampleRate(), 0);
            s->Close();
            sounds++;
        } else if (ext == ".movie") {
            auto* m = static_cast<nLogicFlash*>(ks->New("nlogicflash", ("/usr/movies/m" + std::to_string(++made)).c_str()));
            m->SetTexture(f.c_str());
            m->LoadFlash();
            movies++;
        }
        for (const std::string& e : log.errors) ADD_FAILURE() << e;
        log.TakeErrors();
    }
    EXPECT_GE(meshes, 3);
    EXPECT_GE(pictures, 3 + 31);  // the level's textures, the tools' icons
    EXPECT_GE(sounds, 2);
    EXPECT_GE(movies, 4);
}

TEST_F(GameAssetsTest, TheLevelsAssetsHaveTheirSizesAndTheDiverItsOrangeSuit) {
    // The seabed: 200 x 200 around the origin, hills near y = 0.
    const bbox3 seabed = MeshBox("home:meshes/seabed.n3d");
    EXPECT_FLOAT_EQ(seabed.vmin.x, -100.0f);
    EXPECT_FLOAT_EQ(seabed.vmax.z, 100.0f);
    EXPECT_GT(seabed.vmin.y, -5.0f);
    EXPECT_LT(seabed.vmax.y, 5.0f);
    // The rock: about 2 units, standing on y = 0.
    const bbox3 rock = MeshBox("home:meshes/rock.n3d");
    EXPECT_NEAR(rock.vmax.x - rock.vmin.x, 2.0f, 0.5f);
    EXPECT_NEAR(rock.vmin.y, 0.0f, 0.2f);
    // The diver: 1.8 long along z (it swims along -z), narrower across and flatter.
    const bbox3 diver = MeshBox("home:meshes/diver.n3d");
    EXPECT_NEAR(diver.vmax.z - diver.vmin.z, 1.8f, 0.05f);
    EXPECT_NEAR(diver.vmin.z + diver.vmax.z, 0.0f, 0.05f);
    EXPECT_LT(diver.vmax.x - diver.vmin.x, 0.9f);
    EXPECT_LT(diver.vmax.y - diver.vmin.y, 0.6f);

    // The suit's quarter of the diver's texture.
    nTexture* suit = Texture("home:textures/diver.png");
    ASSERT_GT(suit->GetWidth(), 4);
    int r = -1, g = -1, b = -1, a = -1;
    ASSERT_TRUE(suit->Lock(0, 0, suit->GetWidth(), suit->GetHeight(), nullptr, nullptr));
    suit->GetPixel(3, 3, r, g, b, a);
    suit->Unlock();
    EXPECT_NEAR(r, 240, 8);
    EXPECT_NEAR(g, 120, 8);
    EXPECT_NEAR(b, 20, 8);

    // Sounds: 16-bit mono PCM; the ambient hum loops.
    auto* hum = static_cast<nWavStream*>(ks->New("nwavstream", "/usr/sounds/hum"));
    ASSERT_TRUE(hum->Open("home:sounds/ambient.wav", true));
    EXPECT_EQ(hum->GetKind(), 1);
    EXPECT_EQ(hum->GetSampleRate(), 22050);
    hum->Close();
    EXPECT_FALSE(log.TakeErrors());
}

}  // namespace
