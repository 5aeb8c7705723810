// qor-build-show: an author's source folder into a folder the player runs.
//
//   qor-build-show SRC -o OUT [--pack NAME] [--include DIR]... [--builtin-screens]
//                  [--only PATH]...
//
// SRC holds (every part optional but show.ini's screens, which --builtin-screens leaves out):
//   show.ini            [SHOW]: PACK, MUSIC, LOADING, SCREEN1..n "script.o,duration" (as the
//                       player reads it); [IMPORT]: "model file=qor-import options"
//   scripts/*.sc        compiled by qor-sc into OUT/scripts/exe/NAME.o (scripts/*.inc included)
//   models/*            glTF, GLB, FBX, OBJ, COLLADA, 3DS, converted by qor-import into
//                       OUT/scenes/NAME.s3d (+ .MOT), their textures into OUT/maps
//   maps/*.png          pictures, written as OUT/maps/NAME.jpg, and NAME_a.jpg (the alpha as a
//                       grey image, read by its red channel) when a pixel is not opaque
//   maps/*.jpg|jpeg     JPEG pictures, checked and copied byte for byte as OUT/maps/NAME.jpg
//   maps/SUB/...        any file, copied as it is to OUT/maps/SUB/... (a font's picture and
//                       width table, "maps\SUB\NAME" in the pack)
//   scenes/*.s3d|.MOT   ready-made scenes and their animation files, copied as they are
//   music/*.mp3         copied as they are
// OUT receives those files, application.ini ([APPLICATION] and the [SHOW] section) and the pack
// holding every file under the names the engine asks for.
//
// Every problem is one line on standard error, "FILE:LINE: what is wrong" where a line is
// known; the build goes on to report all it can and writes neither the pack nor application.ini
// when anything failed. Exit status: 0 success, 1 failure, 2 bad usage. The other tools
// (qor-sc, qor-import, qor-pack) are run from the folder this program lies in.
//
// --only PATH (a file of SRC, relative to it, as "scripts/intro.sc") rebuilds only what that
// file makes, with the same steps, into an OUT built before: an include (.inc) recompiles
// every script, a model's side file (.mtl, its textures) or show.ini re-imports every model.
// Neither the pack nor application.ini is written then: a player running OUT with --watch
// reads the loose files.
#include "qor_fileUtil.h"
#include "qor_importImage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef QOR_BUILD_SHOW_INCLUDE
#define QOR_BUILD_SHOW_INCLUDE ""
#endif

namespace fs = std::filesystem;

namespace
{
const int kExitFailure = 1;
const int kExitUsage = 2;
// Largest show.ini, script source or picture read.
const uint64_t kMaxSmallFile = 4u * 1024 * 1024;
const uint64_t kMaxPicture = 256u * 1024 * 1024;
// The player takes at most this many screens, and names of at most 63 characters (the
// engine's name fields hold 64 bytes with the terminating NUL).
const int kMaxScreens = 256;
const size_t kMaxName = 63;

int s_nErrors = 0;

void problem(const std::string & where, const std::string & what)
{
    std::fprintf(stderr, "%s: %s\n", where.c_str(), what.c_str());
    ++s_nErrors;
}

std::string lower(std::string s)
{
    for (char & c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string & s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string extensionOf(const std::string & name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : lower(name.substr(dot + 1));
}

std::string stemOf(const std::string & name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// The regular files of SRC/sub, sorted by name ("" when the folder is absent).
std::vector<std::string> listFolder(const std::string & src, const std::string & sub)
{
    std::vector<std::string> names;
    const fs::path dir = fs::path(src) / sub;
    std::error_code ec;
    if (!fs::exists(dir, ec))
        return names;
    if (!fs::is_directory(dir, ec))
    {
        problem(dir.string(), "is not a folder");
        return names;
    }
    for (const fs::directory_entry & e : fs::directory_iterator(dir, ec))
    {
        const std::string name = e.path().filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        std::error_code ec2;
        if (!e.is_regular_file(ec2))
        {
            if (!e.is_directory(ec2))
                problem(e.path().string(), "is not a regular file");
            continue;
        }
        names.push_back(name);
    }
    if (ec)
        problem(dir.string(), "cannot be read: " + ec.message());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs argv[0] with its arguments; its standard output and error in *pOut. The exit status,
// or -1 when it could not be started or was killed.
int runChild(const std::vector<std::string> & argv, std::string * pOut)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
    {
        *pOut = std::string("cannot make a pipe: ") + std::strerror(errno);
        return -1;
    }
    std::vector<char *> args;
    for (const std::string & a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
    {
        *pOut = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0)
    {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        execv(args[0], args.data());
        const std::string msg = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno) + "\n";
        if (write(2, msg.data(), msg.size()) < 0)
            _exit(127);
        _exit(127);
    }
    close(fds[1]);
    pOut->clear();
    char buf[4096];
    for (;;)
    {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0)
            pOut->append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Passes a child's messages on line by line (each already names its file).
void reportChild(const std::string & tool, const std::string & input, int status, const std::string & out)
{
    size_t b = 0;
    bool bAny = false;
    while (b < out.size())
    {
        size_t e = out.find('\n', b);
        if (e == std::string::npos)
            e = out.size();
        const std::string line = trim(out.substr(b, e - b));
        // qor-sc's count of its errors repeats what its lines said.
        const bool bCount =
            tool == "qor-sc" && line.compare(0, 8, "qor-sc: ") == 0 && line.find("error(s)") != std::string::npos;
        if (!line.empty() && !bCount)
        {
            // A tool that succeeded says what it wrote (standard output); its warnings and
            // every line of a tool that failed are problems (standard error).
            const bool bProblem = status != 0 || line.find("warning") != std::string::npos;
            std::fprintf(bProblem ? stderr : stdout, "%s\n", line.c_str());
            bAny = true;
        }
        b = e + 1;
    }
    if (status != 0)
    {
        ++s_nErrors;
        if (!bAny)
            std::fprintf(stderr, "%s: %s failed (exit %d)\n", input.c_str(), tool.c_str(), status);
    }
}

bool writeOutput(const std::string & path, const std::string & bytes)
{
    std::string err;
    if (!qoru_writeFile(path.c_str(), bytes.data(), bytes.size(), nullptr, &err))
    {
        problem(path, "cannot be written: " + err);
        return false;
    }
    return true;
}

bool makeFolder(const std::string & path)
{
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec))
    {
        problem(path, "cannot create the folder: " + (ec ? ec.message() : std::string("not a folder")));
        return false;
    }
    return true;
}

// show.ini as read: its [SHOW] keys and [IMPORT] lines, each with its line number.
struct ShowEntry
{
    std::string value;
    int nLine = 0;
};

struct Screen
{
    std::string script;
    long nDuration = 0;
    int nLine = 0;
};

struct ShowDesc
{
    std::string file; // the path, for messages
    std::map<std::string, ShowEntry> show;
    std::map<std::string, ShowEntry> import; // model file name (lower case) -> options
    std::vector<Screen> screens;
};

std::string where(const std::string & file, int nLine) { return file + ":" + std::to_string(nLine); }

// A script name of the show table: "NAME.o" with scripts/NAME.sc in the folder.
void checkScriptName(const ShowDesc & desc, const std::string & key, const ShowEntry & e,
                     const std::set<std::string> & scripts)
{
    if (e.value.size() < 3 || lower(e.value.substr(e.value.size() - 2)) != ".o")
        problem(where(desc.file, e.nLine),
                key + ": \"" + e.value + "\" is not a compiled script name (write NAME.o for scripts/NAME.sc)");
    else if (!scripts.count(lower(stemOf(e.value))))
        problem(where(desc.file, e.nLine),
                key + " names " + e.value + " but there is no scripts/" + stemOf(e.value) + ".sc");
}

bool readShowIni(const std::string & path, ShowDesc * pDesc)
{
    pDesc->file = path;
    std::string text, err;
    if (!qoru_readFile(path.c_str(), kMaxSmallFile, &text, &err))
    {
        problem(path, "cannot be read: " + err);
        return false;
    }
    std::string section;
    int nLine = 0;
    size_t b = 0;
    while (b < text.size())
    {
        size_t e = text.find('\n', b);
        if (e == std::string::npos)
            e = text.size();
        const std::string line = trim(text.substr(b, e - b));
        b = e + 1;
        ++nLine;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[')
        {
            if (line.back() != ']')
                problem(where(path, nLine), "a section name must end with \"]\"");
            section = lower(trim(line.substr(1, line.size() - 2)));
            if (section != "show" && section != "import")
                problem(where(path, nLine),
                        "unknown section [" + line.substr(1, line.size() - 2) + "] (show.ini has [SHOW] and [IMPORT])");
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
        {
            problem(where(path, nLine), "\"" + line + "\" is not KEY=VALUE");
            continue;
        }
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        std::map<std::string, ShowEntry> * pMap = nullptr;
        if (section == "show")
            pMap = &pDesc->show;
        else if (section == "import")
            pMap = &pDesc->import;
        else
        {
            problem(where(path, nLine), "\"" + key + "\" is outside a section (put it under [SHOW])");
            continue;
        }
        // Keys are not case-sensitive: [SHOW]'s are kept in capitals, model names in lower case.
        std::string k = lower(key);
        if (section == "show")
            std::transform(k.begin(), k.end(), k.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (pMap->count(k))
        {
            problem(where(path, nLine),
                    key + " is given twice (first on line " + std::to_string((*pMap)[k].nLine) + ")");
            continue;
        }
        (*pMap)[k] = ShowEntry{value, nLine};
    }
    return true;
}

// The [SHOW] section's rules: known keys, SCREEN1..n without gaps, "script.o,duration" with a
// positive whole duration, names of at most kMaxName characters.
void checkShow(ShowDesc * pDesc, const std::set<std::string> & scripts, bool bBuiltinScreens)
{
    std::set<int> numbers;
    std::map<int, const ShowEntry *> entries;
    for (const auto & [key, e] : pDesc->show)
    {
        if (key == "PACK" || key == "MUSIC" || key == "LOADING")
        {
            if (e.value.empty())
                problem(where(pDesc->file, e.nLine), key + " is empty");
            else if (e.value.size() > kMaxName)
                problem(where(pDesc->file, e.nLine), key + ": the name has " + std::to_string(e.value.size()) +
                                                         " characters, at most " + std::to_string(kMaxName) +
                                                         " are allowed");
            else if (key == "LOADING")
                checkScriptName(*pDesc, key, e, scripts);
            continue;
        }
        if (key.compare(0, 6, "SCREEN") == 0 && key.size() > 6 && key.size() < 10 &&
            std::all_of(key.begin() + 6, key.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
            key[6] != '0')
        {
            entries[std::atoi(key.c_str() + 6)] = &e;
            continue;
        }
        problem(where(pDesc->file, e.nLine),
                "unknown key " + key + " (keys: PACK, MUSIC, LOADING, SCREEN1, SCREEN2, ...)");
    }
    int nExpected = 1;
    for (const auto & [n, pEntry] : entries)
    {
        const ShowEntry & e = *pEntry;
        const std::string key = "SCREEN" + std::to_string(n);
        if (n > kMaxScreens)
        {
            problem(where(pDesc->file, e.nLine), key + ": at most " + std::to_string(kMaxScreens) + " screens");
            continue;
        }
        if (n != nExpected)
            problem(where(pDesc->file, e.nLine), key + " follows SCREEN" + std::to_string(nExpected - 1) + ": SCREEN" +
                                                     std::to_string(nExpected) +
                                                     " is missing (number the screens from 1 without gaps)");
        nExpected = n + 1;
        const size_t comma = e.value.find(',');
        if (comma == std::string::npos)
        {
            problem(where(pDesc->file, e.nLine), key + ": \"" + e.value + "\" has no comma (write script.o,duration)");
            continue;
        }
        Screen s;
        s.script = trim(e.value.substr(0, comma));
        s.nLine = e.nLine;
        const std::string d = trim(e.value.substr(comma + 1));
        const bool bDigits = !d.empty() && d.size() <= 9 && std::all_of(d.begin(), d.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
        s.nDuration = bDigits ? std::atol(d.c_str()) : 0;
        if (s.nDuration <= 0)
        {
            problem(where(pDesc->file, e.nLine),
                    key + ": the duration \"" + d + "\" is not a positive whole number of frame units (1/30 s)");
            continue;
        }
        if (s.script.size() > kMaxName)
        {
            problem(where(pDesc->file, e.nLine), key + ": the name has " + std::to_string(s.script.size()) +
                                                     " characters, at most " + std::to_string(kMaxName) +
                                                     " are allowed");
            continue;
        }
        checkScriptName(*pDesc, key, ShowEntry{s.script, e.nLine}, scripts);
        pDesc->screens.push_back(s);
    }
    if (entries.empty() && !bBuiltinScreens)
        problem(pDesc->file, "[SHOW] has no SCREEN1 (give each screen as SCREENn=script.o,duration)");
}

// Calls with a literal file name in a script: which natives, which argument, and what kind of
// file the name must lead to.
enum eRef
{
    e_refScript, // a compiled script "NAME.o"
    e_refScene,  // "scenes/NAME.s3d"
    e_refTexture // maps/NAME.jpg
};

struct RefNative
{
    const char * szName;
    int nArg; // 0-based argument holding the name
    eRef kind;
};

const RefNative s_aRefNative[] = {
    {"addLayer", 0, e_refScript},
    {"loadTextureScript", 0, e_refScript},
    {"replaceMaterial", 1, e_refScript},
    {"loadScene", 0, e_refScene},
    {"loadTexture", 0, e_refTexture},
    {"loadTextureAlpha", 0, e_refTexture},
    {"loadTextureAlpha", 1, e_refTexture},
    {"loadTextureNoComp", 0, e_refTexture},
    {"loadTextureNoCompr", 0, e_refTexture},
};

struct Outputs
{
    std::set<std::string> scripts;  // stems, lower case
    std::set<std::string> scenes;   // "scenes/name.s3d", lower case
    std::set<std::string> textures; // stems, lower case
};

// Finds every call of s_aRefNative with a string literal at its argument and checks that the
// file it names is made by this build. Comments and other string literals are skipped.
void checkReferences(const std::string & path, const std::string & text, const Outputs & outs)
{
    int nLine = 1;
    size_t i = 0;
    const size_t n = text.size();
    auto skipString = [&](size_t p, std::string * pValue) {
        // p at the opening quote; returns the index after the closing one.
        ++p;
        while (p < n && text[p] != '"' && text[p] != '\n')
        {
            if (text[p] == '\\' && p + 1 < n)
                ++p;
            if (pValue)
                *pValue += text[p];
            ++p;
        }
        return p < n ? p + 1 : p;
    };
    while (i < n)
    {
        const char c = text[i];
        if (c == '\n')
        {
            ++nLine;
            ++i;
        }
        else if (c == '/' && i + 1 < n && text[i + 1] == '/')
        {
            while (i < n && text[i] != '\n')
                ++i;
        }
        else if (c == '/' && i + 1 < n && text[i + 1] == '*')
        {
            i += 2;
            while (i + 1 < n && !(text[i] == '*' && text[i + 1] == '/'))
                nLine += text[i++] == '\n';
            i += 2;
        }
        else if (c == '"')
            i = skipString(i, nullptr);
        else if (c == '\'')
        {
            i += 1;
            while (i < n && text[i] != '\'' && text[i] != '\n')
                i += text[i] == '\\' ? 2 : 1;
            ++i;
        }
        else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
        {
            size_t e = i;
            while (e < n && (std::isalnum(static_cast<unsigned char>(text[e])) || text[e] == '_'))
                ++e;
            const std::string ident = text.substr(i, e - i);
            i = e;
            size_t p = e;
            while (p < n && (text[p] == ' ' || text[p] == '\t'))
                ++p;
            if (p >= n || text[p] != '(')
                continue;
            // The literal arguments of the call, by position (empty where not a literal).
            std::vector<std::string> args;
            std::vector<bool> literal;
            ++p;
            for (;;)
            {
                while (p < n && (text[p] == ' ' || text[p] == '\t'))
                    ++p;
                std::string value;
                bool bLiteral = false;
                if (p < n && text[p] == '"')
                {
                    p = skipString(p, &value);
                    bLiteral = true;
                    while (p < n && (text[p] == ' ' || text[p] == '\t'))
                        ++p;
                }
                // The rest of the argument, to the next top-level comma or the closing bracket.
                int nDepth = 0;
                bool bMore = false;
                while (p < n && text[p] != '\n')
                {
                    if (text[p] == '(')
                        ++nDepth;
                    else if (text[p] == ')' && nDepth-- == 0)
                        break;
                    else if (text[p] == ',' && nDepth == 0)
                    {
                        bMore = true;
                        ++p;
                        break;
                    }
                    else if (text[p] == '"')
                    {
                        bLiteral = false;
                        p = skipString(p, nullptr);
                        continue;
                    }
                    else
                        bLiteral = false;
                    ++p;
                }
                args.push_back(value);
                literal.push_back(bLiteral);
                if (!bMore)
                    break;
            }
            for (const RefNative & r : s_aRefNative)
            {
                if (ident != r.szName || r.nArg >= static_cast<int>(args.size()) || !literal[r.nArg])
                    continue;
                const std::string & name = args[r.nArg];
                std::string key = lower(name);
                std::replace(key.begin(), key.end(), '\\', '/');
                const std::string at = where(path, nLine);
                if (r.kind == e_refScript)
                {
                    if (extensionOf(key) != "o")
                        problem(at, ident + "(\"" + name + "\"): a script is named by its compiled name, NAME.o");
                    else if (!outs.scripts.count(stemOf(key)))
                        problem(at, ident + "(\"" + name + "\"): there is no scripts/" + stemOf(name) + ".sc");
                }
                else if (r.kind == e_refScene)
                {
                    if (!outs.scenes.count(key))
                        problem(at, ident + "(\"" + name +
                                        "\"): no such scene; the models in models/ become scenes/NAME.s3d");
                }
                else if (!outs.textures.count(key))
                    problem(at, ident + "(\"" + name + "\"): no picture maps/" + name +
                                    ".png or .jpg (name textures without extension)");
            }
        }
        else
            ++i;
    }
}

// A picture of SRC/maps into OUT/maps: NAME.jpg, and NAME_a.jpg when it has alpha.
void convertPicture(const std::string & in, const std::string & outDir, const std::string & stem, Outputs * pOuts)
{
    std::string bytes, err;
    if (!qoru_readFile(in.c_str(), kMaxPicture, &bytes, &err))
    {
        problem(in, "cannot be read: " + err);
        return;
    }
    qor_sImportImage image;
    if (!qoru_importDecodeImage(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), &image, &err))
    {
        problem(in, "not a readable PNG or JPEG picture: " + err);
        return;
    }
    // A JPEG is already what the texture loaders read (and has no alpha): it is kept as it is,
    // since decoding and encoding again would lose detail for nothing.
    const std::string ext = extensionOf(in);
    if (ext == "jpg" || ext == "jpeg")
    {
        if (writeOutput(outDir + "/" + stem + ".jpg", bytes))
            pOuts->textures.insert(lower(stem));
        return;
    }
    std::string jpeg;
    if (!qoru_importEncodeJpeg(image, false, &jpeg, &err))
    {
        problem(in, "cannot be encoded: " + err);
        return;
    }
    if (!writeOutput(outDir + "/" + stem + ".jpg", jpeg))
        return;
    pOuts->textures.insert(lower(stem));
    if (image.hasAlpha())
    {
        if (!qoru_importEncodeJpeg(image, true, &jpeg, &err))
        {
            problem(in, "its alpha cannot be encoded: " + err);
            return;
        }
        if (writeOutput(outDir + "/" + stem + "_a.jpg", jpeg))
            pOuts->textures.insert(lower(stem) + "_a");
    }
}

// qor-import's options an author may give a model in [IMPORT] (the output and the texture
// folder are the build's).
bool splitImportOptions(const std::string & value, std::vector<std::string> * pArgs, std::string * pError)
{
    static const char * const s_aWithValue[] = {"--scale", "--fit",         "--fps",       "--anim",
                                                "--orbit", "--name-prefix", "--time-limit"};
    static const char * const s_aFlag[] = {"--stage"};
    std::vector<std::string> words;
    size_t b = 0;
    while (b < value.size())
    {
        while (b < value.size() && std::isspace(static_cast<unsigned char>(value[b])))
            ++b;
        size_t e = b;
        while (e < value.size() && !std::isspace(static_cast<unsigned char>(value[e])))
            ++e;
        if (e > b)
            words.push_back(value.substr(b, e - b));
        b = e;
    }
    for (size_t i = 0; i < words.size(); ++i)
    {
        const std::string & w = words[i];
        if (std::find(std::begin(s_aFlag), std::end(s_aFlag), w) != std::end(s_aFlag))
            pArgs->push_back(w);
        else if (std::find(std::begin(s_aWithValue), std::end(s_aWithValue), w) != std::end(s_aWithValue))
        {
            if (i + 1 >= words.size())
            {
                *pError = w + " needs a value";
                return false;
            }
            pArgs->push_back(w);
            pArgs->push_back(words[++i]);
        }
        else
        {
            *pError = "\"" + w +
                      "\" is not an import option (--scale, --fit, --fps, --anim, --stage, --orbit, --name-prefix, "
                      "--time-limit)";
            return false;
        }
    }
    return true;
}

std::string selfFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

int usage(const char * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-build-show: %s\n", szError);
    std::fprintf(szError ? stderr : stdout,
                 "usage: qor-build-show SRC -o OUT [--pack NAME] [--include DIR]... [--builtin-screens]\n"
                 "  builds the show of the source folder SRC into the folder OUT (see docs/AUTHORING.md)\n"
                 "  --pack NAME     the pack's file name (default: PACK of SRC/show.ini, else show.dat)\n"
                 "  --include DIR   a script include folder, searched in the order given (default: the\n"
                 "                  engine's of this build; give it too when adding folders)\n"
                 "  --builtin-screens  show.ini may name no SCREENn: the player's built-in table plays\n"
                 "  --only PATH     rebuild only what SRC/PATH makes (repeatable), into an OUT built\n"
                 "                  before; no pack nor application.ini is written\n"
                 "exit codes: 0 built, 1 a problem (one line each on standard error), 2 bad usage\n");
    return szError ? kExitUsage : 0;
}

int run(int argc, char ** argv)
{
    std::string src, out, pack;
    std::vector<std::string> includes;
    bool bBuiltinScreens = false;
    std::set<std::string> only; // --only: source paths relative to SRC
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help")
            return usage(nullptr);
        if (a == "--builtin-screens")
            bBuiltinScreens = true;
        else if (a == "--only")
        {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usage((a + " needs a value").c_str());
            only.insert(argv[++i]);
        }
        else if (a == "--include")
        {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usage((a + " needs a value").c_str());
            includes.push_back(argv[++i]);
        }
        else if (a == "-o" || a == "--pack")
        {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usage((a + " needs a value").c_str());
            (a == "-o" ? out : pack) = argv[++i];
        }
        else if (!a.empty() && a[0] == '-')
            return usage(("unknown option " + a).c_str());
        else if (src.empty())
            src = a;
        else
            return usage("one source folder only");
    }
    if (src.empty())
        return usage("no source folder");
    if (out.empty())
        return usage("no output folder (-o OUT)");
    if (!pack.empty() &&
        (pack.size() > kMaxName || pack.find('/') != std::string::npos || pack.find('\\') != std::string::npos))
        return usage("--pack takes a file name without folders, at most 63 characters");

    qoru_trackInputs();
    std::error_code ec;
    if (!fs::is_directory(src, ec))
    {
        problem(src, fs::exists(src, ec) ? "is not a folder" : "no such folder");
        return kExitFailure;
    }
    if (fs::exists(out, ec) && fs::equivalent(src, out, ec))
    {
        problem(out, "is the source folder; build into another folder");
        return kExitFailure;
    }
    const std::string bin = selfFolder();
    if (includes.empty())
        includes.push_back(QOR_BUILD_SHOW_INCLUDE);
    for (const std::string & include : includes)
        if (include.empty() || !fs::is_directory(include, ec))
            problem(include.empty() ? std::string("--include") : include,
                    "the engine's script include folder is missing (give it with --include DIR)");

    // What this run makes: everything, or what the --only files make.
    bool bAllScripts = only.empty(), bAllModels = only.empty() || only.count("show.ini");
    for (const std::string & f : only)
    {
        if (f.compare(0, 8, "scripts/") == 0 && extensionOf(f) == "inc")
            bAllScripts = true;
        static const std::set<std::string> s_models = {"gltf", "glb", "fbx", "obj", "dae", "3ds"};
        if (f.compare(0, 7, "models/") == 0 && !s_models.count(extensionOf(f)))
            bAllModels = true; // a file a model refers to
    }
    const auto wanted = [&](const std::string & rel) { return only.empty() || only.count(rel) > 0; };

    // The show's description.
    ShowDesc desc;
    const std::string ini = src + "/show.ini";
    const bool bIni = fs::exists(ini, ec);
    if (!bIni)
        problem(ini, "missing: the show needs [SHOW] with SCREEN1=script.o,duration ...");
    else
        readShowIni(ini, &desc);

    Outputs outs;
    const std::vector<std::string> scriptFiles = listFolder(src, "scripts");
    std::vector<std::string> scriptStems;
    for (const std::string & f : scriptFiles)
    {
        const std::string ext = extensionOf(f);
        if (ext == "sc")
        {
            if (stemOf(f).size() + 2 > kMaxName)
                problem(src + "/scripts/" + f, "the compiled name is longer than 63 characters");
            else if (!outs.scripts.insert(lower(stemOf(f))).second)
                problem(src + "/scripts/" + f,
                        "a second script of the same name (names are not case-sensitive in the pack)");
            else
                scriptStems.push_back(stemOf(f));
        }
        else if (ext != "inc")
            problem(src + "/scripts/" + f, "not a script (.sc) nor an include (.inc)");
    }
    if (bIni)
        checkShow(&desc, outs.scripts, bBuiltinScreens);
    if (pack.empty())
        pack = desc.show.count("PACK") ? desc.show["PACK"].value : std::string("show.dat");

    if (!makeFolder(out) || !makeFolder(out + "/scripts/exe") || !makeFolder(out + "/maps") ||
        !makeFolder(out + "/scenes"))
        return kExitFailure;

    // What OUT/maps holds from an earlier build: only textures this run writes (each a new
    // file, renamed into place) are packed and may be named by the scripts.
    std::map<std::string, ino_t> oldMaps;
    for (const std::string & f : listFolder(out, "maps"))
    {
        struct stat st;
        if (lstat((out + "/maps/" + f).c_str(), &st) == 0)
            oldMaps[f] = st.st_ino;
    }

    // Scripts.
    for (const std::string & stem : scriptStems)
    {
        if (!bAllScripts && !wanted("scripts/" + stem + ".sc"))
            continue;
        const std::string in = src + "/scripts/" + stem + ".sc";
        std::string text, err;
        if (!qoru_readFile(in.c_str(), kMaxSmallFile, &text, &err))
        {
            problem(in, "cannot be read: " + err);
            continue;
        }
        std::vector<std::string> cmd = {bin + "/qor-sc", in};
        for (const std::string & include : includes)
        {
            cmd.push_back("-I");
            cmd.push_back(include);
        }
        cmd.push_back("-o");
        cmd.push_back(out + "/scripts/exe/" + stem + ".o");
        std::string msgs;
        const int status = runChild(cmd, &msgs);
        reportChild("qor-sc", in, status, msgs);
    }

    // Pictures.
    std::set<std::string> pictureStems;
    std::set<std::string> pngStems;
    for (const std::string & f : listFolder(src, "maps"))
    {
        const std::string ext = extensionOf(f), in = src + "/maps/" + f;
        if (ext != "png" && ext != "jpg" && ext != "jpeg")
        {
            problem(in, "not a PNG or JPEG picture (only .png, .jpg and .jpeg are converted)");
            continue;
        }
        if (!pictureStems.insert(lower(stemOf(f))).second)
        {
            problem(in, "a second picture named " + stemOf(f) + " (textures are named without extension)");
            continue;
        }
        if (stemOf(f).size() + 6 > kMaxName)
        {
            problem(in, "the name is too long for a texture (at most 57 characters before the extension)");
            continue;
        }
        if (ext == "png")
            pngStems.insert(lower(stemOf(f)));
        if (wanted("maps/" + f))
            convertPicture(in, out + "/maps", stemOf(f), &outs);
    }
    // The subfolders of maps/, copied as they are.
    std::vector<std::string> copied; // paths relative to OUT, packed as they are
    {
        const fs::path mapsDir = fs::path(src) / "maps";
        std::error_code ec2;
        if (fs::is_directory(mapsDir, ec2))
        {
            fs::recursive_directory_iterator it(mapsDir, ec2), end;
            for (; !ec2 && it != end; it.increment(ec2))
            {
                const fs::path rel = it->path().lexically_relative(mapsDir);
                const std::string name = it->path().filename().string();
                std::error_code ec3;
                if (name.empty() || name[0] == '.')
                {
                    if (it->is_directory(ec3))
                        it.disable_recursion_pending();
                    continue;
                }
                if (it.depth() == 0 || it->is_directory(ec3))
                    continue; // maps/ itself is read above
                const std::string in = it->path().string(), relOut = "maps/" + rel.generic_string();
                if (!it->is_regular_file(ec3))
                {
                    problem(in, "is not a regular file");
                    continue;
                }
                if (relOut.size() > kMaxName)
                {
                    problem(in, "the name in the pack is longer than 63 characters");
                    continue;
                }
                std::string bytes, err;
                if (!wanted(relOut))
                    continue;
                if (!makeFolder(out + "/" + fs::path(relOut).parent_path().string()))
                    continue;
                if (!qoru_readFile(in.c_str(), kMaxPicture, &bytes, &err))
                    problem(in, "cannot be read: " + err);
                else if (writeOutput(out + "/" + relOut, bytes))
                {
                    copied.push_back(relOut);
                    if (extensionOf(name) == "jpg")
                        outs.textures.insert(lower(stemOf(rel.generic_string())));
                }
            }
            if (ec2)
                problem(mapsDir.string(), "cannot be read: " + ec2.message());
        }
    }
    // Ready-made scenes.
    for (const std::string & f : listFolder(src, "scenes"))
    {
        const std::string in = src + "/scenes/" + f, ext = extensionOf(f);
        if (ext != "s3d" && ext != "mot")
        {
            problem(in, "not a scene (.s3d) nor its animation file (.s3d.MOT)");
            continue;
        }
        if (ext == "s3d" && !outs.scenes.insert(lower("scenes/" + f)).second)
        {
            problem(in, "a second scene of the same name (names are not case-sensitive in the pack)");
            continue;
        }
        std::string bytes, err;
        if (!wanted("scenes/" + f))
            continue;
        if (!qoru_readFile(in.c_str(), kQorMaxFileSize, &bytes, &err))
            problem(in, "cannot be read: " + err);
        else
            writeOutput(out + "/scenes/" + f, bytes);
    }
    // NAME_a is taken by the alpha image of a PNG NAME; a JPEG has no alpha image.
    for (const std::string & s : pictureStems)
        if (s.size() > 2 && s.compare(s.size() - 2, 2, "_a") == 0 && pngStems.count(s.substr(0, s.size() - 2)))
            problem(src + "/maps/" + s,
                    "clashes with the alpha image of " + s.substr(0, s.size() - 2) + " (rename it)");

    // Models, with the qor-import options of [IMPORT].
    std::map<std::string, std::vector<std::string>> importArgs;
    for (const auto & [name, e] : desc.import)
    {
        std::vector<std::string> args;
        std::string err;
        if (splitImportOptions(e.value, &args, &err))
            importArgs[name] = args;
        else
            problem(where(ini, e.nLine), name + ": " + err);
    }
    static const char * const s_aModelExt[] = {"gltf", "glb", "fbx", "obj", "dae", "3ds"};
    static const char * const s_aModelSide[] = {"mtl", "bin", "png", "jpg", "jpeg", "tga", "bmp"};
    std::set<std::string> imported;
    for (const std::string & f : listFolder(src, "models"))
    {
        const std::string ext = extensionOf(f), in = src + "/models/" + f;
        if (std::find(std::begin(s_aModelSide), std::end(s_aModelSide), ext) != std::end(s_aModelSide))
            continue; // a file a model refers to
        if (std::find(std::begin(s_aModelExt), std::end(s_aModelExt), ext) == std::end(s_aModelExt))
        {
            problem(in, "not a model qor-build-show converts (.gltf, .glb, .fbx, .obj, .dae, .3ds)");
            continue;
        }
        const std::string scene = "scenes/" + stemOf(f) + ".s3d";
        if (!outs.scenes.insert(lower(scene)).second)
        {
            problem(in, "a second model named " + stemOf(f) + " (each model becomes scenes/NAME.s3d)");
            continue;
        }
        std::vector<std::string> cmd = {bin + "/qor-import", in, "-o", out + "/" + scene, "--textures", out + "/maps"};
        const auto opt = desc.import.find(lower(f));
        if (opt != desc.import.end())
            imported.insert(opt->first);
        if (!bAllModels && !wanted("models/" + f))
            continue;
        if (opt != desc.import.end())
        {
            if (!importArgs.count(opt->first))
                continue; // its options were refused above
            cmd.insert(cmd.end(), importArgs[opt->first].begin(), importArgs[opt->first].end());
        }
        std::string msgs;
        const int status = runChild(cmd, &msgs);
        reportChild("qor-import", in, status, msgs);
    }
    for (const auto & [name, e] : desc.import)
        if (!imported.count(name))
            problem(where(ini, e.nLine), "[IMPORT] names " + name + " but there is no such model in models/");
    // Textures the importer wrote.
    for (const std::string & f : listFolder(out, "maps"))
    {
        struct stat st;
        const auto old = oldMaps.find(f);
        if (extensionOf(f) == "jpg" && lstat((out + "/maps/" + f).c_str(), &st) == 0 &&
            (old == oldMaps.end() || old->second != st.st_ino))
            outs.textures.insert(lower(stemOf(f)));
    }

    // The names the scripts use (known only when everything is built).
    for (const std::string & stem : only.empty() ? scriptStems : std::vector<std::string>())
    {
        const std::string in = src + "/scripts/" + stem + ".sc";
        std::string text, err;
        if (qoru_readFile(in.c_str(), kMaxSmallFile, &text, &err))
            checkReferences(in, text, outs);
    }

    // Music.
    std::vector<std::string> music;
    for (const std::string & f : listFolder(src, "music"))
    {
        const std::string in = src + "/music/" + f;
        if (extensionOf(f) != "mp3")
        {
            problem(in, "not an MP3 file (the player plays MP3 music)");
            continue;
        }
        std::string bytes, err;
        if (!wanted("music/" + f))
            music.push_back(f); // built before
        else if (!qoru_readFile(in.c_str(), kQorMaxFileSize, &bytes, &err))
            problem(in, "cannot be read: " + err);
        else if (writeOutput(out + "/" + f, bytes))
            music.push_back(f);
    }
    const auto m = desc.show.find("MUSIC");
    if (m != desc.show.end() && !m->second.value.empty() &&
        std::none_of(music.begin(), music.end(),
                     [&](const std::string & f) { return lower(f) == lower(m->second.value); }))
        problem(where(ini, m->second.nLine),
                "MUSIC names " + m->second.value + " but there is no music/" + m->second.value);

    if (s_nErrors)
    {
        std::fprintf(stderr, "qor-build-show: %d problem%s, %s/%s not written\n", s_nErrors, s_nErrors == 1 ? "" : "s",
                     out.c_str(), pack.c_str());
        return kExitFailure;
    }

    if (!only.empty())
    {
        std::printf("qor-build-show: %s: rebuilt what %zu changed file%s make%s\n", out.c_str(), only.size(),
                    only.size() == 1 ? "" : "s", only.size() == 1 ? "s" : "");
        return 0;
    }

    // application.ini: the player's settings and the show table.
    std::string app = "[APPLICATION]\nID=1\nUSER=0\n\n[SHOW]\nPACK=" + pack + "\n";
    if (m != desc.show.end())
        app += "MUSIC=" + m->second.value + "\n";
    if (desc.show.count("LOADING"))
        app += "LOADING=" + desc.show["LOADING"].value + "\n";
    for (size_t i = 0; i < desc.screens.size(); ++i)
        app += "SCREEN" + std::to_string(i + 1) + "=" + desc.screens[i].script + "," +
               std::to_string(desc.screens[i].nDuration) + "\n";

    // The pack: every file made, under its path relative to OUT.
    std::vector<std::string> files;
    for (const std::string & stem : scriptStems)
        files.push_back("scripts/exe/" + stem + ".o");
    for (const std::string & f : listFolder(out, "scenes"))
        if (outs.scenes.count(lower("scenes/" + stemOf(f))) || outs.scenes.count(lower("scenes/" + f)))
            files.push_back("scenes/" + f);
    for (const std::string & f : listFolder(out, "maps"))
        if (outs.textures.count(lower(stemOf(f))))
            files.push_back("maps/" + f);
    files.insert(files.end(), copied.begin(), copied.end());
    for (const std::string & f : music)
        files.push_back(f);
    // qor-pack stores the paths as given: run it from OUT.
    std::string msgs;
    std::vector<std::string> shell = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", out};
    shell.push_back(bin + "/qor-pack");
    shell.push_back("create");
    shell.push_back(pack);
    shell.push_back("--");
    shell.insert(shell.end(), files.begin(), files.end());
    const int status = runChild(shell, &msgs);
    reportChild("qor-pack", out + "/" + pack, status, msgs);
    if (status == 0)
        writeOutput(out + "/application.ini", app);
    if (s_nErrors)
        return kExitFailure;
    std::printf("qor-build-show: %s/%s: %zu scripts, %zu scenes, %zu textures, %zu music files, %zu screens\n",
                out.c_str(), pack.c_str(), scriptStems.size(), outs.scenes.size(), outs.textures.size(), music.size(),
                desc.screens.size());
    return 0;
}
} // namespace

int main(int argc, char ** argv) { return run(argc, argv); }
