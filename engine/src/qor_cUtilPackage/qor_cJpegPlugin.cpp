#include "qor_cJpegPlugin.h"

#include "qor_cErrorHandler.h"
#include "qor_cString.h"

#ifdef __EMSCRIPTEN__
// A page loads no shared modules: the codec is linked into the program and its entry point
// taken directly.
extern "C" qor_cJpegImage * getObject();

bool qoru_loadJpegPlugin() { return true; }

void qoru_freeJpegPlugin() {}

qor_cJpegImage * qoru_newJpegImage() { return getObject(); }
#else
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace
{
cchar * const kModuleName = "qor_cJpegFileDLL.so";
void * s_hModule = nullptr;
qor_pfnGetJpegObject s_pfnGetObject = nullptr;

// Folder of the running executable, with its trailing "/".
qor_cString executableFolder()
{
    char acPath[4096];
    const ssize_t n = readlink("/proc/self/exe", acPath, sizeof(acPath) - 1);
    if (n <= 0)
        return qor_cString();
    acPath[n] = 0;
    qor_cString strFolder;
    qor_cString(acPath).splitPath(&strFolder, nullptr, nullptr);
    return strFolder;
}

void * openModule()
{
    qor_cString strPath = executableFolder() + kModuleName;
    void * h = dlopen(strPath.get(), RTLD_NOW | RTLD_LOCAL);
    if (h)
        return h;
    // Test programs and tools built outside build/bin name the module folder themselves.
    if (cchar * szDir = std::getenv("QOR_PLUGIN_DIR"))
    {
        strPath = qor_cString(szDir) + "/" + kModuleName;
        h = dlopen(strPath.get(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!h)
    {
        qor_cString strReason;
        strReason.printf("qoru_loadJpegPlugin: %s\n", dlerror());
        qoru_debugOutput(strReason.get());
    }
    return h;
}
} // namespace

bool qoru_loadJpegPlugin()
{
    if (s_pfnGetObject)
        return true;
    s_hModule = openModule();
    if (!s_hModule)
    {
        qoru_messageBox("Can't load 'qor_cJpegFileDLL.so' !", "ERROR :", qorrs_mbicon_error);
        return false;
    }
    s_pfnGetObject = reinterpret_cast<qor_pfnGetJpegObject>(dlsym(s_hModule, "getObject"));
    if (!s_pfnGetObject)
    {
        qoru_messageBox("Unable to find <getObject> method in <qor_cJpegFileDLL.so>", "ERROR :", qorrs_mbicon_error);
        dlclose(s_hModule);
        s_hModule = nullptr;
        return false;
    }
    return true;
}

void qoru_freeJpegPlugin()
{
    s_pfnGetObject = nullptr;
    if (s_hModule)
        dlclose(s_hModule);
    s_hModule = nullptr;
}

qor_cJpegImage * qoru_newJpegImage()
{
    return s_pfnGetObject ? s_pfnGetObject() : nullptr;
}
#endif
