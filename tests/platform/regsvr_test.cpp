// The registration tool, run as a separate program against the test server.
#include "temp_registry.h"
#include "testserver/testserver.h"

#include <sys/wait.h>

#include <cstdlib>

namespace {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

class RegistrationTool : public ::testing::Test {
protected:
    ToolRun Tool(const std::string& arguments) {
        std::string out = reg_.Dir() + "/out", err = reg_.Dir() + "/err";
        std::string command = std::string(QELV_REGSVR_PATH) + " " + arguments + " >" + out + " 2>" + err;
        int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempRegistry::ReadFileText(out),
                TempRegistry::ReadFileText(err)};
    }
    TempRegistry reg_;
};

const std::u16string kClassKey = std::u16string(u"CLSID\\") + kTestClsidText;

TEST_F(RegistrationTool, RegistersAndUnregistersAServer) {
    ToolRun run = Tool(QELV_TEST_SERVER_PATH);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("DllRegisterServer"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");

    char* absolute = realpath(QELV_TEST_SERVER_PATH, nullptr);
    ASSERT_NE(absolute, nullptr);
    std::string path = absolute;
    std::free(absolute);
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, kClassKey + u"\\InprocServer32", nullptr),
              std::u16string(path.begin(), path.end()))
        << "the module records its absolute path";

    // The registration is usable from this process.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(kTestProgId, &clsid), S_OK);
    ITestObject* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kTestObjectIid, reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
    CoUninitialize();

    run = Tool("/s /u " + std::string(QELV_TEST_SERVER_PATH));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "") << "silent";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestProgId));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestProgIdVersioned));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID")) << "the CLSID key itself stays";

    // Unregistering again makes the server's entry point fail: reported, even when silent.
    run = Tool("-u -s " + std::string(QELV_TEST_SERVER_PATH));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("DllUnregisterServer"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("0x80070002"), std::string::npos) << run.err;
}

TEST_F(RegistrationTool, FailsClearlyOnBadModulesAndArguments) {
    ToolRun run = Tool(reg_.Dir() + "/missing.so");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("missing.so"), std::string::npos) << run.err;

    run = Tool("/s " + std::string(QELV_TEST_NOENTRY_PATH));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("DllRegisterServer"), std::string::npos) << run.err;

    std::string notAModule = reg_.Dir() + "/plain.txt";
    reg_.UseFile("plain.txt");
    reg_.WriteText("just text\n");
    reg_.UseFile("registry");
    run = Tool(notAModule);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("plain.txt"), std::string::npos) << run.err;

    EXPECT_EQ(Tool("").exitCode, 1);
    EXPECT_EQ(Tool("--bogus x.so").exitCode, 1);
    EXPECT_EQ(Tool("a.so b.so").exitCode, 1);
    run = Tool("--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(reg_.Path())) << "nothing was registered";
}

}  // namespace
