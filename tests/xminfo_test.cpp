// Runs the xminfo program on modules written by the XM writer and checks what it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "support/xm_writer.h"

namespace {

struct ToolRun {
    int exit_code;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// WQ_BIN_DIR when set; otherwise bin/ next to this test's own tests/ folder in the build tree.
std::string bin_dir() {
    if (const char* bin = std::getenv("WQ_BIN_DIR")) return bin;
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("bin") : (self.parent_path().parent_path() / "bin").string();
}

ToolRun run_xminfo(const std::string& module_path) {
    std::string bin = bin_dir();
    std::string dir = ::testing::TempDir();
    // ctest runs each test case as its own process, possibly at the same time.
    std::string tag = std::to_string(getpid());
    std::string out = dir + "xminfo_out_" + tag + ".txt", err = dir + "xminfo_err_" + tag + ".txt";
    std::string command = bin + "/xminfo '" + module_path + "' >" + out + " 2>" + err;
    int status = std::system(command.c_str());
    ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

std::string write_module(const XmModuleDesc& desc, const std::string& name) {
    std::string path = ::testing::TempDir() + std::to_string(getpid()) + "_" + name;
    EXPECT_TRUE(xm_write_file(path, desc));
    return path;
}

bool has_line(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l == line) return true;
    return false;
}

TEST(XmInfo, DescribesAModule) {
    XmModuleDesc m;
    m.name = "Info Song";
    m.channels = 3;
    m.orders = {0, 1, 0, 2};
    m.restart = 1;
    m.linear = false;
    m.speed = 5;
    m.bpm = 140;
    m.patterns = {xm_pattern_from_text(3, {"C-4 01 40 A01 | D-4 02 .. E61 | ... .. C8 F06",
                                           "... .. 65 A00 | ... .. .. E62 | ... .. .. ..."},
                                       32),
                  xm_pattern_from_text(3, {"=== .. .. ..."}, 16)};
    XmInstrumentDesc ins = xm_instrument(xm_sample_16bit({1, 2, 3, 4, 5, 6}, XmLoop::pingpong, 1, 4));
    ins.samples[0].volume = 48;
    ins.samples[0].finetune = -16;
    ins.samples[0].relative_note = 12;
    ins.samples.push_back(xm_sample_8bit({1, 2, 3}));
    ins.volume_envelope = xm_envelope({{0, 64}, {4, 32}, {8, 0}}, 1);
    ins.fadeout = 256;
    m.instruments = {ins, XmInstrumentDesc{}};
    ToolRun r = run_xminfo(write_module(m, "info.xm"));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const char* const lines[] = {
        "Name           Info Song",
        "Channels       3",
        "Frequencies    Amiga",
        "Tempo          speed 5, 140 BPM",
        "Orders         4, restart at 1",
        "                 0   1   0   2",
        "Patterns       3: 2 in the file, 3 named by the orders",
        "                 0: 32 rows   1: 16 rows   2: 64 rows",
        "Instruments    2",
        "    1  samples 2, fadeout 512, volume envelope 3 points, sustain 1, panning envelope off",
        "       sample     length  bits  loop                     volume finetune relnote panning",
        "       0               6    16  ping-pong 1+4                48      -16      12     128",
        "       1               3     8  none                         64        0       0     128",
        "    2  samples 0, fadeout 0, volume envelope off, panning envelope off",
        "Effects        A:2 E6:2 F:1",
        "Volume column  panning:1, slide down:1, volume:1",
    };
    for (const char* line : lines) EXPECT_TRUE(has_line(r.out, line)) << "missing: " << line << "\n" << r.out;
}

TEST(XmInfo, RefusesWhatItCannotLoad) {
    XmModuleDesc bad;
    bad.signature = "Extended Modula: ";
    const std::string cases[] = {write_module(bad, "bad.xm"), ::testing::TempDir() + "no-such-file.xm"};
    for (const std::string& path : cases) {
        ToolRun r = run_xminfo(path);
        EXPECT_EQ(r.exit_code, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        ASSERT_FALSE(r.err.empty()) << path;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
}

}  // namespace
