#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "KernelTestClasses.h"
#include "kernel/nDefaultLogHandler.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLineBuffer.h"
#include "kernel/nLogFormat.h"
#include "kernel/nLogLimiter.h"
#include "kernel/nTimeServer.h"
#include "kernel/nWin32LogHandler.h"
#include "platform/system/StopWatchdog.h"
#include "platform/system/System.h"
#include "tests/app/StepClock.h"
#include "tests/kernel/FullPipe.h"

namespace {

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string ExeDir() {
    std::string exe = sys::ExecutablePath();
    return exe.substr(0, exe.rfind('/'));
}

void PutAt(nLogLimiter& limiter, double now, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    limiter.Cut(fmt, args);
    va_end(args);
    limiter.Put(now, true);
}

TEST(nLineBufferTest, SplitsLinesWrapsAndDropsTheOldest) {
    nLineBuffer lb;
    lb.Put("one\ntw");
    lb.Put("o\n");
    EXPECT_EQ(lb.GetNumLines(), 2);
    EXPECT_STREQ(lb.GetLine(1), "two");
    EXPECT_EQ(lb.GetLine(2), nullptr);

    lb.Clear();
    lb.Put(std::string(100, 'x').c_str());
    EXPECT_EQ(lb.GetNumLines(), 2);
    EXPECT_EQ(std::string(lb.GetLine(0)).size(), 79u);
    EXPECT_EQ(std::string(lb.GetLine(1)).size(), 21u);
    // The wrap never splits a character's UTF-8: the console would show its halves.
    for (const std::string ch : {"\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x90\x9F"}) {
        lb.Put(("\n" + std::string(78, 'x') + ch).c_str());
        EXPECT_EQ(lb.GetLine(lb.GetNumLines() - 1), ch);
    }

    lb.Clear();
    for (int i = 0; i < 300; i++) {
        std::string line = "line" + std::to_string(i) + "\n";
        lb.Put(line.c_str());
    }
    EXPECT_EQ(lb.GetNumLines(), nLineBuffer::NumLines);
    EXPECT_STREQ(lb.GetLine(0), "line44");
    EXPECT_STREQ(lb.GetLine(255), "line299");
}

TEST(nDefaultLogHandlerTest, LongTextsAreCutInTheLineBuffer) {
    nKernelServer k(TestPackage);
    nLineBuffer* lb = k.GetLogHandler()->GetLineBuffer();
    ASSERT_NE(lb, nullptr);
    std::string text(1100, 'a');
    testing::internal::CaptureStdout();
    k.Print("%s", text.c_str());
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, text);  // standard output gets all of it
    std::string stored;
    for (int i = 0; i < lb->GetNumLines(); i++) stored += lb->GetLine(i);
    EXPECT_EQ(stored, std::string(1017, 'a') + "[...]");
    // Nor does the cut split a character's UTF-8.
    k.Print("%s", (std::string(1016, 'a') + "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4").c_str());
    EXPECT_EQ(lb->GetLine(lb->GetNumLines() - 1), std::string(68, 'a') + "[...]");
}

TEST(nWin32LogHandlerTest, WritesEachTextToTheLogFileBesideTheExecutable) {
    const std::string logName = ExeDir() + "/BwLogTest.log";
    {
        std::ofstream old(logName);
        old << "from an earlier run\n";
    }
    nKernelServer k(TestPackage);
    {
        nWin32LogHandler handler("BwLogTest");
        EXPECT_EQ(std::string(handler.GetLogFileName()), logName);
        k.SetLogHandler(&handler);
        std::string longText(3000, 'm');
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        k.Print("value %d\n", 5);
        // Flushed after every text: readable before the handler closes.
        EXPECT_EQ(ReadFile(logName), "value 5\n");
        k.Message("%s\n", longText.c_str());
        n_error("bad %s\n", "thing");
        const std::string printed = testing::internal::GetCapturedStdout();
        std::string boxes = testing::internal::GetCapturedStderr();
        // No display: the boxes go to standard error, cut as the log cuts them.
        EXPECT_NE(boxes.find("BwLogTest: " + std::string(507, 'm') + "[...]\n"), std::string::npos);
        EXPECT_EQ(boxes.find(std::string(508, 'm')), std::string::npos);
        EXPECT_NE(boxes.find("BwLogTest: bad thing\n"), std::string::npos);
        // The file and standard output are one stream; a long line is cut there.
        EXPECT_EQ(ReadFile(logName), "value 5\n" + std::string(507, 'm') + "[...]\nbad thing\n");
        EXPECT_EQ(printed, ReadFile(logName));
        k.SetLogHandler(nullptr);
    }
    EXPECT_EQ(k.GetLogHandler(), k.GetDefaultLogHandler());
    std::remove(logName.c_str());
}

TEST(nWin32LogHandlerTest, ALineThatComesAgainSoonIsCountedAndItsCountWrittenLater) {
    StepClock clock;
    const std::string logName = ExeDir() + "/BwRepeatTest.log";
    nKernelServer k(TestPackage);
    k.GetTimeServer()->SetClock(&clock);
    testing::internal::CaptureStdout();
    {
        nWin32LogHandler handler("BwRepeatTest");
        k.SetLogHandler(&handler);
        for (int i = 0; i < 3; i++) k.Print("same\n");
        // A different line does not end the count.
        k.Print("other\n");
        // Its time is up at the next text: the count so far, and this one counted anew.
        clock.ticks = 10000000;
        for (int i = 0; i < 3; i++) k.Print("same\n");
        clock.ticks = 16000000;
        k.Print("same\n");
        k.SetLogHandler(nullptr);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile(logName), "same\nother\nsame (repeated 2 times)\nsame (repeated 3 times)\n"
                                 "same (repeated 1 time)\n");
    k.GetTimeServer()->SetClock(nullptr);
    std::remove(logName.c_str());
}

// Errors of data's text: names of any length, with escape sequences and German letters.
TEST(nWin32LogHandlerTest, LinesAreCutForTheFileStandardOutputAndTheGame) {
    const std::string logName = ExeDir() + "/BwCutTest.log";
    nKernelServer k(TestPackage);
    std::string shown;
    {
        nWin32LogHandler handler("BwCutTest");
        k.SetLogHandler(&handler);
        handler.SetPlayDisplay([](void* to, const char* text) { *static_cast<std::string*>(to) = text; }, &shown);
        testing::internal::CaptureStdout();
        k.Error("'%s' refused\n", std::string(1 << 20, 'n').c_str());
        k.Print("a\x1b]0;title\x07" "b\xC2\x9B" "2J\n%s\n", (std::string(506, 'x') + "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4").c_str());
        k.Print("%s\n", std::string(512, 'y').c_str());
        k.SetLogHandler(nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), ReadFile(logName));
    }
    const std::string cut = "'" + std::string(506, 'n') + "[...]";
    EXPECT_EQ(shown, cut);
    // The cut does not split the UTF-8 of "\xC3\xA4"; a line of 512 stays whole.
    EXPECT_EQ(ReadFile(logName), cut + "\na?]0;title?b?2J\n" + std::string(506, 'x') + "[...]\n" + std::string(512, 'y') +
                                     "\n");
    std::remove(logName.c_str());
}

int FormatInto(char* out, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int n = nLogFormat::Format(out, size, fmt, args);
    va_end(args);
    return n;
}

// Text that a log line quotes can neither start a line nor act on a terminal: the format's
// own line breaks stay, and so does the line feed that ends the whole text.
TEST(nLogFormatTest, QuotedControlCharactersShowAsEscapes) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"'%s' refused\n", "\x1b]0;PWNED\x07\x1b[2J\nFAKE LOG LINE", "'\\x1b]0;PWNED\\x07\\x1b[2J\\nFAKE LOG LINE' refused\n"},
        {"%s", "a\r\tb\x7f\x01\x1f", "a\\r\\tb\\x7f\\x01\\x1f"},
        {"%s", "\x9b" "2J \xc2\x9b \xc3\xa4 \xe2\x82", "\\x9b" "2J \\xc2\\x9b \xc3\xa4 \\xe2\\x82"},
        {"%s", "two\n\n", "two\\n\n"},
        {"one\ntwo %s\n", "x", "one\ntwo x\n"},
        {"[%5.3s]", "a\nbc", "[  a\\nb]"},
        {"%s", "a\xe2\x80\xa8" "b\xe2\x80\xae" "c\xe2\x81\xa6", "a\\xe2\\x80\\xa8b\\xe2\\x80\\xaec\\xe2\\x81\\xa6"},
    };
    char out[256];
    for (const auto& [fmt, quoted, shown] : cases) {
        FormatInto(out, sizeof(out), fmt, quoted);
        EXPECT_STREQ(out, shown) << fmt;
    }
    for (int c = 1; c <= 0x7F; c = c == 0x1F ? 0x7F : c + 1) {
        // Escaped but the line feed that ends the text.
        EXPECT_EQ(FormatInto(out, sizeof(out), "%c", c), c == '\n' ? 1 : c == '\r' || c == '\t' ? 2 : 4) << c;
    }
    // The line and paragraph separators and the bidirectional controls; not their neighbours.
    for (unsigned cp = 0x2026; cp <= 0x206A; cp++) {
        const char ch[4] = {char(0xE2), char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F)), 0};
        const bool escaped = (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
        EXPECT_EQ(FormatInto(out, sizeof(out), "%s", ch), escaped ? 12 : 3) << cp;
    }
    FormatInto(out, sizeof(out), "%d %5.2f %lld %zu %x %% %*d %.*s|", -3, 2.5, 1ll << 40, size_t(7), 255u, 3, 4, 2, "abc");
    EXPECT_STREQ(out, "-3  2.50 1099511627776 7 ff %   4 ab|");
    EXPECT_EQ(FormatInto(out, 8, "%s", "\x1b\x1b\x1b"), 12);
    EXPECT_STREQ(out, "\\x1b\\x1");
}

// Every way a log text leaves gets the one quoted line: the file, standard output, the
// game's screen and, once the program ends, standard error instead of a box.
TEST(nWin32LogHandlerTest, AQuotedTextIsOneLineEverywhereAndNoBoxWaitsOnceTheProgramEnds) {
    const std::string logName = ExeDir() + "/BwQuotedTest.log";
    nKernelServer k(TestPackage);
    std::string shown;
    const char* const forged = "\x1b]0;PWNED\x07\x1b[2J\nFAKE LOG LINE";
    const std::string line = "save: '\\x1b]0;PWNED\\x07\\x1b[2J\\nFAKE LOG LINE' refused\n";
    {
        nWin32LogHandler handler("BwQuotedTest");
        k.SetLogHandler(&handler);
        handler.SetPlayDisplay([](void* to, const char* text) { *static_cast<std::string*>(to) = text; }, &shown);
        testing::internal::CaptureStdout();
        k.Error("save: '%s' refused\n", forged);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
        EXPECT_EQ(shown + "\n", line);
        handler.SetPlayDisplay(nullptr, nullptr);
        handler.SetEnding();
        testing::internal::CaptureStderr();
        k.Error("save: '%s' refused\n", forged);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "BwQuotedTest: " + line);
        k.SetLogHandler(nullptr);
    }
    EXPECT_EQ(ReadFile(logName), line + line.substr(0, line.size() - 1) + " (repeated 1 time)\n");
    std::remove(logName.c_str());
}

// Once the program ends a text goes to standard error instead of a box: a pipe there that
// nobody reads holds the shutdown no more than a box may.
TEST(nWin32LogHandlerTest, OnceTheProgramEndsAFullStandardErrorHoldsNoText) {
    nKernelServer k(TestPackage);
    for (void (nKernelServer::*report)(const char*, ...) : {&nKernelServer::Error, &nKernelServer::Message}) {
        FullPipe full(STDERR_FILENO);
        nWin32LogHandler handler("BwEndingPipeTest");
        k.SetLogHandler(&handler);
        handler.SetEnding();
        (k.*report)("shutdown: '%s' not saved\n", "x");
        EXPECT_FALSE(full.Released());
        k.SetLogHandler(nullptr);
    }
    std::remove((ExeDir() + "/BwEndingPipeTest.log").c_str());
}

// Ten timers that fail every frame, each with its own line, among lines that come once.
TEST(nWin32LogHandlerTest, RepeatsAreCountedWhateverLinesComeBetweenThem) {
    StepClock clock;
    const std::string logName = ExeDir() + "/BwManyRepeatsTest.log";
    nKernelServer k(TestPackage);
    k.GetTimeServer()->SetClock(&clock);
    testing::internal::CaptureStdout();
    {
        nWin32LogHandler handler("BwManyRepeatsTest");
        k.SetLogHandler(&handler);
        for (int frame = 0; frame < 300; frame++) {
            clock.ticks = frame * 1000000 / 30;
            for (int timer = 0; timer < 10; timer++) k.Print("timer %d failed\n", timer);
            k.Print("frame %d\n", frame);
        }
        k.SetLogHandler(nullptr);
    }
    testing::internal::GetCapturedStdout();
    k.GetTimeServer()->SetClock(nullptr);
    std::ifstream in(logName);
    int lines = 0, times[10] = {};
    for (std::string line; std::getline(in, line);) {
        int timer = -1, count = 1;
        if (std::sscanf(line.c_str(), "timer %d failed (repeated %d", &timer, &count) < 1) continue;
        lines++;
        times[timer] += count;
    }
    // Each written once and counted every five seconds (and once at close) over ten seconds.
    EXPECT_LE(lines, 40);
    for (int n : times) EXPECT_EQ(n, 300);
    std::remove(logName.c_str());
}

// An 8-bit terminal takes the bare bytes 0x80 to 0x9F as controls (0x9B opens a sequence
// as ESC [ does): what is no whole UTF-8 character shows as '?' (as an escape where a text
// quotes it), whole ones stay.
TEST(nLogLimiterTest, BytesThatAreNoWholeCharacterShowAsQuestionMarks) {
    std::string out;
    nLogLimiter limiter([](void* to, const char* text, size_t n) { static_cast<std::string*>(to)->append(text, n); },
                        &out);
    auto put = [&limiter](const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        limiter.Cut(fmt, args);
        va_end(args);
        limiter.Put(0.0, false);
    };
    put("a\x9B" "2J b\xC0\x9B c\xE0\x80\x9B d\xED\xA0\x80 e\xF4\x90\x80\x80 f\xC3 %s\n", "\xE2\x82");
    put("\xC3\xA4\xE2\x82\xAC\xF0\x9F\x90\x9F\xF4\x8F\xBF\xBF\n");
    put("u\xE2\x80\xA8v\xE2\x80\xA9w\xE2\x80\xAEx\xE2\x81\xA9y\xE2\x80\xAF\n");
    EXPECT_EQ(out, "a?2J b?? c??? d??? e???? f? \\xe2\\x82\n\xC3\xA4\xE2\x82\xAC\xF0\x9F\x90\x9F\xF4\x8F\xBF\xBF\n"
                   "u?v?w?x?y\xE2\x80\xAF\n");
}

// A thousand timers that fail every frame, each with its own long line: each line is
// written once and then only counted, its count's line cut.
TEST(nLogLimiterTest, ThousandsOfRepeatingLinesAreEachWrittenOnce) {
    std::string out;
    nLogLimiter limiter([](void* to, const char* text, size_t n) { static_cast<std::string*>(to)->append(text, n); },
                        &out);
    const std::string tail(300, 'x');
    const int timers = 1000, frames = 400;  // forty seconds at ten frames a second
    for (int frame = 0; frame < frames; frame++) {
        for (int timer = 0; timer < timers; timer++) {
            PutAt(limiter, frame * 0.1, "timer %04d failed %s\n", timer, tail.c_str());
        }
    }
    limiter.Close();
    std::vector<int> written(timers), counted(timers);
    long long unwritten = 0, lines = 0;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line); lines++) {
        int timer = -1, n = 0;
        long long u = 0;
        if (std::sscanf(line.c_str(), "... %lld other lines not written", &u) == 1) unwritten += u;
        ASSERT_LE(line.size(), size_t(nLogLimiter::MaxLine));
        if (std::sscanf(line.c_str(), "timer %d failed", &timer) != 1) continue;
        const size_t at = line.find("[...] (repeated ");
        if (at == std::string::npos) {
            written[timer]++;
        } else if (std::sscanf(line.c_str() + at, "[...] (repeated %d", &n) == 1) {
            counted[timer] += n;
        }
    }
    long long total = unwritten;
    for (int timer = 0; timer < timers; timer++) {
        EXPECT_EQ(written[timer], 1) << timer;
        total += written[timer] + counted[timer];
    }
    EXPECT_EQ(total, (long long)timers * frames);
    // A count every five seconds at most, beside the lines themselves.
    EXPECT_LE(lines, timers * (frames / 50 + 2) + 20);
}

// A line with a counter in it is new each time: past MaxNewBytes in RepeatSeconds the
// rest is only counted.
TEST(nLogLimiterTest, EverNewLinesAreWrittenAtABoundedRate) {
    std::string out;
    nLogLimiter limiter([](void* to, const char* text, size_t n) { static_cast<std::string*>(to)->append(text, n); },
                        &out);
    int value = 0;
    for (int frame = 0; frame < 120; frame++) {
        for (int i = 0; i < 100; i++) {
            PutAt(limiter, frame * 0.1, "value %05d out of range\n", value++);
        }
    }
    limiter.Close();
    std::vector<long long> notes;
    int written = 0;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        long long n = 0;
        if (std::sscanf(line.c_str(), "... %lld other lines not written", &n) == 1) notes.push_back(n);
        else written++;
    }
    // Five seconds of 5000 lines of 25 bytes each, twice, then two seconds within the bound.
    const int perWindow = int(nLogLimiter::MaxNewBytes / 25);
    EXPECT_EQ(written, 2 * perWindow + 2000);
    EXPECT_EQ(notes, (std::vector<long long>{5000 - perWindow, 5000 - perWindow}));
}

TEST(nWin32LogHandlerTest, TheStreamStopsAtItsCapAndSaysWhatItDropped) {
    StepClock clock;
    const std::string logName = ExeDir() + "/BwCapTest.log";
    nKernelServer k(TestPackage);
    k.GetTimeServer()->SetClock(&clock);
    const int lines = int(nLogLimiter::MaxBytes / 256) + 1000;
    const std::string text(246, 'z');
    testing::internal::CaptureStdout();
    {
        nWin32LogHandler handler("BwCapTest");
        k.SetLogHandler(&handler);
        // New lines no faster than the stream writes them.
        for (int i = 0; i < lines; i++) {
            const int64_t perWindow = int64_t(nLogLimiter::MaxNewBytes / 256);
            clock.ticks = i / perWindow * int64_t(nLogLimiter::RepeatSeconds * 1000000);
            k.Print("%08d %s\n", i, text.c_str());
        }
        k.SetLogHandler(nullptr);
    }
    k.GetTimeServer()->SetClock(nullptr);
    const std::string printed = testing::internal::GetCapturedStdout();
    const std::string log = ReadFile(logName);
    EXPECT_TRUE(printed == log);
    EXPECT_LE(log.size(), nLogLimiter::MaxBytes + 200);
    const size_t kept = nLogLimiter::MaxBytes / 256;
    EXPECT_EQ(log.substr(log.rfind('\n', log.size() - 2) + 1),
              "... " + std::to_string(lines - kept) + " lines dropped\n");
    std::remove(logName.c_str());
}

// The game run with its standard output into a pipe that nobody reads: a data file that
// prints keeps writing the log file, and the game's thread is never held in the write.
TEST(nWin32LogHandlerTest, AFullPipeOnStandardOutputHoldsNoWrite) {
    StepClock clock;
    const std::string logName = ExeDir() + "/BwPipeTest.log";
    nKernelServer k(TestPackage);
    k.GetTimeServer()->SetClock(&clock);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETPIPE_SZ, 4096);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(dup2(ends[1], STDOUT_FILENO), STDOUT_FILENO);
    // A guard only: a write held for good is released by reading the pipe, and fails the test.
    std::atomic<bool> done{false}, released{false};
    std::thread guard([&] {
        for (int i = 0; i < 3000 && !done; i++) usleep(10000);
        released = !done;
        fcntl(ends[0], F_SETFL, O_NONBLOCK);
        for (char sink[4096]; !done;) (void)!read(ends[0], sink, sizeof(sink));
    });
    const int lines = 100;
    std::string fitted, after;
    auto drain = [&] {
        std::string got;
        char buf[4096];
        fcntl(ends[0], F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = read(ends[0], buf, sizeof(buf))) > 0;) got.append(buf, size_t(n));
        return got;
    };
    {
        nWin32LogHandler handler("BwPipeTest");
        k.SetLogHandler(&handler);
        for (int i = 0; i < lines; i++) k.Print("%04d %s\n", i, std::string(300, 'p').c_str());
        done = true;
        guard.join();
        // Read again: the pipe is told what it missed, then takes lines as before.
        fitted = drain();
        k.Print("after\n");
        after = drain();
        k.SetLogHandler(nullptr);
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    for (int fd : {saved, ends[0], ends[1]}) close(fd);
    k.GetTimeServer()->SetClock(nullptr);
    EXPECT_FALSE(released);
    const size_t shown = size_t(std::count(fitted.begin(), fitted.end(), '\n'));
    EXPECT_GT(shown, 0u);
    EXPECT_LT(shown, size_t(lines));
    EXPECT_EQ(after, "... " + std::to_string(lines - shown) + " lines not written here (in the log file)\nafter\n");
    const std::string log = ReadFile(logName);
    EXPECT_EQ(size_t(std::count(log.begin(), log.end(), '\n')), size_t(lines) + 1);
    EXPECT_EQ(log.substr(0, fitted.size()), fitted);
    std::remove(logName.c_str());
}

// A loose movie that fails as the start scripts load it, before the frame loop: without a
// display its box's text goes to standard error, cut and its controls shown as escapes.
TEST(nWin32LogHandlerTest, ABoxWithoutADisplayShowsTheTextAsTheLogCutIt) {
    if (sys::HasDisplay()) GTEST_SKIP() << "the box would wait for a click";
    const std::string logName = ExeDir() + "/BwBoxTest.log";
    nKernelServer k(TestPackage);
    testing::internal::CaptureStderr();
    {
        nWin32LogHandler handler("BwBoxTest");
        k.SetLogHandler(&handler);
        k.Error("movie: %s\n", ("\x1b[2J \x1b]0;title\x07 " + std::string(3000, 'm')).c_str());
        k.SetLogHandler(nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "BwBoxTest: movie: \\x1b[2J \\x1b]0;title\\x07 " + std::string(475, 'm') + "[...]\n");
    std::remove(logName.c_str());
}

TEST(FatalErrorDeathTest, LogsAndExitsWithCodeThree) {
    const std::string logName = ExeDir() + "/BwFatalTest.log";
    std::remove(logName.c_str());
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            nWin32LogHandler* handler = new nWin32LogHandler("BwFatalTest");
            k.SetLogHandler(handler);
            nKernelServer::FatalError("Aborting.");
        },
        ::testing::ExitedWithCode(3), "BwFatalTest: Aborting\\.");
    EXPECT_EQ(ReadFile(logName), "Aborting.");
    std::remove(logName.c_str());
}

TEST(FatalErrorDeathTest, ShowsItsBoxAlsoWhileTheGameRuns) {
    // Errors go to the game's screen while the frame loop runs; a fatal stop must not.
    const std::string logName = ExeDir() + "/BwFatalPlayTest.log";
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            nWin32LogHandler* handler = new nWin32LogHandler("BwFatalPlayTest");
            k.SetLogHandler(handler);
            handler->SetPlayDisplay([](void*, const char*) {}, nullptr);
            nKernelServer::FatalError("Aborting.");
        },
        ::testing::ExitedWithCode(3), "BwFatalPlayTest: Aborting\\.");
    std::remove(logName.c_str());
}

// A child of this process (of any of its threads), 0 while there is none.
pid_t AChild() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        pid_t child = 0;
        if (std::ifstream(task.path() / "children") >> child) return child;
    }
    return 0;
}

// The process is gone or a zombie (its windows and connections are closed).
bool Ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t close = line.rfind(')');
    return close == std::string::npos || line.substr(close + 2, 1) == "Z";
}

// Needs a display: the FatalBoxOnX11 test runs it under Xvfb.
TEST(FatalErrorDeathTest, SigtermWhileItsBoxIsUpEndsTheGameAndTheBox) {
    if (!sys::HasDisplay()) GTEST_SKIP() << "no display";
    const std::string pidFile = ExeDir() + "/BwFatalBox.pid";
    std::remove(pidFile.c_str());
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            k.SetLogHandler(new nWin32LogHandler("BwFatalBoxTest"));
            // Once the box's process stands, its pid is noted and the stop signal comes.
            std::thread([pidFile] {
                pid_t box = 0;
                while (!(box = AChild())) usleep(10000);
                std::ofstream(pidFile) << box;
                kill(getpid(), SIGTERM);
            }).detach();
            nKernelServer::FatalError("Aborting.");
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "");
    pid_t box = 0;
    std::ifstream(pidFile) >> box;
    ASSERT_GT(box, 0);
    // The box ends with the game; the limit only guards a hang.
    for (int i = 0; i < 3000 && !Ended(box); i++) usleep(10000);
    EXPECT_TRUE(Ended(box)) << "the box's process " << box << " outlived the game";
    if (!Ended(box)) kill(box, SIGKILL);
    std::remove(pidFile.c_str());
    std::remove((ExeDir() + "/BwFatalBoxTest.log").c_str());
}

// A fatal error in the shutdown that SIGTERM started, or before it.
TEST(FatalErrorDeathTest, ExitsWithTheStopSignalsCodeOnceAStopSignalCame) {
    EXPECT_EXIT(
        {
            sys::StopWatchdog::Requested(SIGTERM);
            sys::StopWatchdog::Answered();
            nKernelServer::FatalError("Aborting.\n");
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "Aborting");
}

TEST(FatalErrorDeathTest, WorksWithoutAKernel) {
    ASSERT_EQ(nKernelServer::ks, nullptr);
    EXPECT_EXIT(nKernelServer::FatalError("no kernel %d\n", 1), ::testing::ExitedWithCode(3), "no kernel 1");
}

// A stop that is not answered ends the game, also when standard error is a pipe that
// nobody reads (its note would wait there for good).
TEST(StopWatchdogDeathTest, AFullStandardErrorHoldsNoForcedEnd) {
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int ends[2];
        if (pipe(ends) != 0) _exit(1);
        FullPipe::Fill(ends[1]);
        dup2(ends[1], STDOUT_FILENO), dup2(ends[1], STDERR_FILENO);
        sys::StopWatchdog::Start();
        sys::StopWatchdog::Requested(SIGTERM);
        for (;;) pause();
    }
    int status = 0;
    bool ended = false;
    // The watchdog ends it its grace after the stop; the limit only guards a hang.
    for (int i = 0; i < 3000 && !(ended = waitpid(child, &status, WNOHANG) == child); i++) usleep(10000);
    if (!ended) kill(child, SIGKILL), waitpid(child, &status, 0);
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
}

}  // namespace
