// What every program that writes a file does with an output path it must not write: the path
// is one of the run's inputs (named on the command line, read because another input names
// it, or a hard link to one), a folder, a named pipe, a symbolic link (to a file or to
// nothing), or in a folder that does not exist. Each is refused with exit status 1 and a
// message naming the path, and nothing on the disk changes: the inputs keep their bytes, the
// path keeps its kind, a link keeps its target and what it points to, and no file (temporary
// or not) is left. A fresh path in an existing folder is written, so the rows prove the
// refusals and not a program that writes nothing.
#include <gtest/gtest.h>

#include "qor_cS3dWriter.h"
#include "qor_testJpeg.h"
#include "qor_testScene.h"
#include "qor_testUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// One program that writes: how to make its inputs in the run's folder, and its command line
// writing OUT (relative to that folder).
struct sWriter
{
    const char * name;
    std::function<void(const qort::TempDir &)> makeInputs;
    std::function<std::string(const std::string &)> command;
    std::string input;                 // an input named on the command line ("": none)
    std::vector<std::string> readAlso; // inputs the run reads because an input names them
};

std::string bin(const char * name) { return "timeout 60 " + qort::binDir() + "/" + name; }

void writeScene(const qort::TempDir & dir)
{
    qor_cS3dWriter w;
    qort::addRedQuad(w);
    ASSERT_TRUE(w.save(dir.file("s.s3d").c_str()));
    qor_cMotWriter mot;
    mot.addCommonInfos(0, 0, 1);
    ASSERT_TRUE(mot.save(dir.file("s.s3d.MOT").c_str()));
}

std::vector<sWriter> writers()
{
    return {
        {"qor-amx asm",
         [](const qort::TempDir & d) { qort::writeText(d.file("p.asm"), ".code\nmain:\nproc\nretn\n"); },
         [](const std::string & out) { return bin("qor-amx") + " asm p.asm -o " + out; },
         "p.asm",
         {}},
        {"qor-sc",
         [](const qort::TempDir & d) {
             qort::writeText(d.file("p.sc"), "#include \"inc.inc\"\nmain()\n{\n    return VALUE;\n}\n");
             qort::writeText(d.file("inc.inc"), "#define VALUE 7\n");
         },
         [](const std::string & out) { return bin("qor-sc") + " p.sc -I . -o " + out; },
         "p.sc",
         {"inc.inc"}},
        {"qor-pack create",
         [](const qort::TempDir & d) { qort::writeText(d.file("a.txt"), "entry bytes\n"); },
         [](const std::string & out) { return bin("qor-pack") + " create " + out + " a.txt"; },
         "a.txt",
         {}},
        {"qor-scene render",
         writeScene,
         [](const std::string & out) { return bin("qor-scene") + " render s.s3d --at 0 -o " + out; },
         "s.s3d",
         {"s.s3d.MOT"}},
        {"qor-contact-sheet",
         [](const qort::TempDir & d) { qort::writeJpeg(d.file("in.jpg"), 8, 8, qort::solidRgb(8, 8, 200, 40, 40)); },
         [](const std::string & out) { return bin("qor-contact-sheet") + " " + out + " --width 16 in.jpg"; },
         "in.jpg",
         {}},
        // A model whose material library the run reads because the model names it; the
        // textures (none here) would go to maps/ beside the output.
        {"qor-import",
         [](const qort::TempDir & d) {
             qort::writeText(d.file("m.obj"), "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n");
             qort::writeText(d.file("m.mtl"), "newmtl red\nKd 1 0 0\n");
         },
         [](const std::string & out) { return bin("qor-import") + " m.obj -o " + out; },
         "m.obj",
         {"m.mtl"}},
        // No input: only the rows about the path itself apply. Its images go to gen/maps.
        {"qor-gen-images --manifest",
         [](const qort::TempDir & d) { mkdir(d.file("gen").c_str(), 0777); },
         [](const std::string & out) { return bin("qor-gen-images") + " gen --only noise --manifest " + out; },
         "",
         {}},
    };
}

// A row: what the output path is. prepare makes it in the folder and returns it (relative);
// "" when the row does not apply to that writer (it has no input of that kind).
struct sCase
{
    const char * name;
    std::function<std::string(const qort::TempDir &, const sWriter &)> prepare;
    bool bWritten; // the control row: the path is written
};

std::vector<sCase> cases()
{
    return {
        {"the named input", [](const qort::TempDir &, const sWriter & w) { return w.input; }, false},
        {"an input the run reads",
         [](const qort::TempDir &, const sWriter & w) { return w.readAlso.empty() ? std::string() : w.readAlso[0]; },
         false},
        {"a hard link to the input",
         [](const qort::TempDir & d, const sWriter & w) {
             if (w.input.empty())
                 return std::string();
             EXPECT_EQ(0, link(d.file(w.input).c_str(), d.file("hard").c_str()));
             return std::string("hard");
         },
         false},
        {"a folder",
         [](const qort::TempDir & d, const sWriter &) {
             EXPECT_EQ(0, mkdir(d.file("folder").c_str(), 0777));
             return std::string("folder");
         },
         false},
        {"a named pipe",
         [](const qort::TempDir & d, const sWriter &) {
             EXPECT_EQ(0, mkfifo(d.file("pipe").c_str(), 0666));
             return std::string("pipe");
         },
         false},
        {"a symbolic link to a file",
         [](const qort::TempDir & d, const sWriter &) {
             qort::writeText(d.file("target.txt"), "target bytes\n");
             EXPECT_EQ(0, symlink("target.txt", d.file("link").c_str()));
             return std::string("link");
         },
         false},
        {"a symbolic link to nothing",
         [](const qort::TempDir & d, const sWriter &) {
             EXPECT_EQ(0, symlink("nowhere", d.file("dangling").c_str()));
             return std::string("dangling");
         },
         false},
        {"in a missing folder", [](const qort::TempDir &, const sWriter &) { return std::string("missing/out"); },
         false},
        {"a fresh path", [](const qort::TempDir &, const sWriter &) { return std::string("fresh.out"); }, true},
    };
}

// What the folder holds: each entry's name, kind, link target and bytes.
std::string snapshot(const qort::TempDir & dir)
{
    std::string out;
    qort::runCommand("cd '" + dir.path() + "' && find . -path ./gen/maps -prune -o -printf '%p %y %l\\n' | sort", &out);
    std::string bytes;
    qort::runCommand(
        "cd '" + dir.path() + "' && find . -path ./gen/maps -prune -o -type f -print | sort | xargs -r md5sum", &bytes);
    return out + bytes;
}
} // namespace

TEST(OutputSafety, EveryWriterRefusesEveryPathItMustNotWrite)
{
    int nRun = 0;
    for (const sWriter & w : writers())
        for (const sCase & c : cases())
        {
            SCOPED_TRACE(std::string(w.name) + ", output " + c.name);
            qort::TempDir dir;
            w.makeInputs(dir);
            const std::string out = c.prepare(dir, w);
            if (out.empty())
                continue;
            ++nRun;
            const std::string before = snapshot(dir);
            std::string text;
            const int rc = qort::runCommand("cd '" + dir.path() + "' && " + w.command(out) + " 2>&1", &text);
            if (c.bWritten)
            {
                EXPECT_EQ(0, rc) << text;
                struct stat st;
                EXPECT_TRUE(lstat(dir.file(out).c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0);
                continue;
            }
            EXPECT_EQ(1, rc) << text;
            EXPECT_NE(std::string::npos, text.find(out)) << text;
            EXPECT_EQ(before, snapshot(dir)) << text;
        }
    // Seven writers, nine rows; four writers read nothing an input names, one has no input.
    EXPECT_EQ(7 * 9 - 4 - 1 - 1, nRun);
}
