// Files under a video's name that would make the decoder open something else: playlists
// naming a local listener or a file outside, concat scripts naming a second file. The
// players refuse each, and neither the listener nor the outside folder sees anything.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/video/VideoFixture.h"
#include "video/nAviPlayer.h"
#include "video/nBinkPlayer.h"

namespace {

// A TCP listener on 127.0.0.1 that counts connections and closes each at once, so that a
// client waiting for an answer gets its end of file instead of hanging the test.
class Listener {
public:
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(a);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 8) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ADD_FAILURE() << "no listener";
            return;
        }
        port = ntohs(a.sin_port);
        thread = std::thread([this] {
            for (;;) {
                const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    connections++;
                    ::close(c);
                } else if (errno == EINVAL || errno == EBADF) {
                    return;  // shut down
                }
            }
        });
    }
    ~Listener() {
        if (fd < 0) return;
        ::shutdown(fd, SHUT_RDWR);  // wakes the accept
        if (thread.joinable()) thread.join();
        ::close(fd);
    }
    int port = 0;
    std::atomic<int> connections{0};

private:
    int fd = -1;
    std::thread thread;
};

class NestedOpenTest : public VideoFixture {
protected:
    void SetUp() override {
        VideoFixture::SetUp();
        outside = std::filesystem::temp_directory_path() / ("bw_outside_" + std::to_string(::getpid()));
        std::filesystem::create_directories(outside);
    }
    void TearDown() override {
        if (!cwd.empty()) std::filesystem::current_path(cwd);
        std::filesystem::remove_all(outside);
        VideoFixture::TearDown();
    }
    std::filesystem::path outside;
    std::filesystem::path cwd;
};

TEST_F(NestedOpenTest, PlaylistsAndScriptsUnderVideoNamesOpenNothingFurther) {
    Listener listener;
    ASSERT_GT(listener.port, 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port) + "/";
    // Outside, where a nested open could reach: a playlist naming the listener, and videos.
    std::ofstream(outside / "outside.m3u8") << "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000\n" + url + "v.m3u8\n";
    testvideo::Clip clip;
    clip.container = "avi";
    clip.codec = "rawvideo";
    const std::string good = Video("good.avi", clip);
    std::filesystem::copy_file(good, outside / "clip.avi");
    std::filesystem::copy_file(good, outside / "clip.nut");
    const std::string variant = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000\n" + url + "intro.m3u8\n";
    const std::pair<const char*, std::string> files[] = {
        {"intro.m3u8", variant},
        {"intro.avi", variant},  // libavformat goes by the content, not the name
        {"intro2.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000\nfile:" + (outside / "outside.m3u8").string() + "\n"},
        {"concat.avi", "ffconcat version 1.0\nfile clip.avi\n"},
        {"concat.bik", "ffconcat version 1.0\nfile clip.nut\nfile clip.avi\n"},
    };
    // The concat demuxer finds relative names in the working folder.
    cwd = std::filesystem::current_path();
    std::filesystem::current_path(outside);
    // Every open of a file in the outside folder is seen.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, outside.c_str(), IN_OPEN | IN_ACCESS), 0);
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        const int before = listener.connections.load();
        const std::string path = Write(name, text);
        nBinkPlayer* bink = Bink("bink", path);
        nAviPlayer* avi = Avi("avi", path);
        bink->Preload();
        avi->Preload();
        EXPECT_FALSE(bink->IsOpen());
        EXPECT_FALSE(avi->IsOpen());
        EXPECT_EQ(LogCount(path), 2);  // one line for each player
        bink->Release();
        avi->Release();
        char events[4096];
        EXPECT_LE(::read(watch, events, sizeof(events)), 0) << "a file outside was opened";
        EXPECT_EQ(listener.connections.load(), before) << "the listener was reached";
    }
    ::close(watch);
}

}  // namespace
