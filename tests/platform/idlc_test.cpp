// The build tools run as the build runs them: idlc.py must point at the line of anything it
// does not understand and write nothing; rcc.py likewise for resource scripts.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct ToolRun {
    int status;
    std::string errors;
};

ToolRun Tool(const char* tool, const std::string& source, const std::string& extension, const std::string& outputs) {
    static int counter = 0;
    const std::string base = testing::TempDir() + "tool" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    const std::string input = base + extension;
    std::ofstream(input) << source;
    const std::string command = std::string("'") + QELV_PYTHON + "' '" + tool + "' '" + input + "' " + outputs +
                                " 2>'" + base + ".err'";
    const int raw = std::system(command.c_str());
    std::ifstream err(base + ".err");
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(std::istreambuf_iterator<char>(err), {})};
}

ToolRun Idlc(const std::string& body, const std::string& header = "") {
    const std::string out = testing::TempDir() + "idlc_out";
    const std::string source = header.empty()
                                   ? "import \"oaidl.idl\";\n[uuid(11111111-2222-3333-4444-555555555555), version(1.0)]\n"
                                     "library L\n{\n" + body + "\n};\n"
                                   : header;
    return Tool(QELV_IDLC, source, ".idl", "--header '" + out + ".h' --iid '" + out + "_i.cpp' --tlb '" + out + ".tlb'");
}

// An interface wrapper: line 8 of the file is the first line of members.
std::string Interface(const std::string& members) {
    return "[object, uuid(21111111-2222-3333-4444-555555555555), dual]\ninterface I : IDispatch\n{\n" + members +
           "\n};";
}

void ExpectError(const ToolRun& run, int line, const std::string& text) {
    EXPECT_EQ(1, run.status) << run.errors;
    EXPECT_NE(std::string::npos, run.errors.find(".idl:" + std::to_string(line) + ": error: ")) << run.errors;
    EXPECT_NE(std::string::npos, run.errors.find(text)) << run.errors;
}

TEST(Idlc, CompilesTheComponentDescription) {
    const std::string out = testing::TempDir() + "sonalter";
    const std::string command = std::string("'") + QELV_PYTHON + "' '" + QELV_IDLC + "' '" + QELV_SONALTER_IDL +
                                "' --header '" + out + ".h' --iid '" + out + "_i.cpp' --tlb '" + out + ".tlb'";
    ASSERT_EQ(0, std::system(command.c_str()));
    std::ifstream header(out + ".h");
    const std::string text(std::istreambuf_iterator<char>(header), {});
    EXPECT_NE(std::string::npos, text.find("virtual HRESULT STDMETHODCALLTYPE GetLeftStereoChannel(SAFEARRAY** "
                                           "StereoArray, SAFEARRAY** LeftArray) = 0;"));
    EXPECT_NE(std::string::npos, text.find("HRESULT STDMETHODCALLTYPE put_BorderColor(OLE_COLOR clr) = 0;"));
    EXPECT_NE(std::string::npos, text.find("HRESULT STDMETHODCALLTYPE putref_ScaleFont(IFontDisp* pFont) = 0;"));
    EXPECT_NE(std::string::npos, text.find("get_LastErrorNum(ErrorConstants* pVal)"));
    EXPECT_NE(std::string::npos, text.find("BUSY = -10,"));
    EXPECT_NE(std::string::npos, text.find("struct _ISonalter2Events : public IDispatch {};"));
    // LONG, never the 64-bit long of Linux.
    EXPECT_EQ(std::string::npos, text.find("(long "));
    EXPECT_EQ(std::string::npos, text.find(", long "));
    EXPECT_NE(std::string::npos, text.find("put_SmoothTime(LONG newVal)"));
}

TEST(Idlc, ReportsTheLineOfWhatItDoesNotUnderstand) {
    ExpectError(Idlc(Interface("    HRESULT F([in] quad x);")), 8, "unknown type 'quad'");
    ExpectError(Idlc(Interface("    [id(1)] HRESULT F([out, retval] long* a, [in] long b);")), 8,
                "[retval] must be the last parameter");
    ExpectError(Idlc(Interface("    [id(1)] HRESULT F();\n    [id(1)] HRESULT G();")), 9, "id 1 already belongs to F");
    ExpectError(Idlc(Interface("    [propget, id(2)] HRESULT P([in] long v);")), 8, "needs an [out, retval]");
    ExpectError(Idlc(Interface("    [id(1), fancy] HRESULT F();")), 8, "attribute 'fancy' is not supported");
    ExpectError(Idlc(Interface("    [id(1)] HRESULT F([out] long v);")), 8, "[out] parameters must be pointers");
    ExpectError(Idlc(Interface("    [id(1)] long F();")), 8, "must return HRESULT");
    ExpectError(Idlc(Interface("    [id(1)] HRESULT F([in] long a")), 9, "expected ',' or ')'");
    ExpectError(Idlc("coclass C { interface Missing; };"), 5, "needs a uuid");
    ExpectError(Idlc("[uuid(31111111-2222-3333-4444-555555555555)] coclass C { interface Missing; };"), 5,
                "unknown interface 'Missing'");
    ExpectError(Idlc("typedef enum E { A = 1, B = 0x100000000 } E;"), 5, "does not fit in 32 bits");
    ExpectError(Idlc("/* never closed"), 5, "unterminated /* comment");
    ExpectError(Idlc("", "import \"oaidl.idl\";\n\n[uuid(1234)] library L {};"), 3, "malformed uuid");
    ExpectError(Idlc("", "import \"oaidl.idl\";\n"), 2, "no library block");

    // Nothing is written for a failed run.
    std::remove((testing::TempDir() + "idlc_out.h").c_str());
    Idlc(Interface("    HRESULT F([in] quad x);"));
    EXPECT_FALSE(std::ifstream(testing::TempDir() + "idlc_out.h").good());
    EXPECT_EQ(0, Idlc(Interface("    [id(1)] HRESULT F([in] long a);")).status);
}

TEST(Rcc, ReportsTheLineOfWhatItDoesNotUnderstand) {
    const std::string out = "-o '" + testing::TempDir() + "rcc_out.cpp'";
    ToolRun run = Tool(QELV_RCC, "STRINGTABLE\nBEGIN\n  1 \"one\"\n  1 \"again\"\nEND\n", ".rc", out);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.errors.find(".rc:4: error: string 1 is defined twice")) << run.errors;
    run = Tool(QELV_RCC, "\n1 TYPELIB \"missing.tlb\"\n", ".rc", out);
    EXPECT_NE(std::string::npos, run.errors.find(".rc:2: error: cannot find file 'missing.tlb'")) << run.errors;
    run = Tool(QELV_RCC, "#if FOO > 2\n#endif\n", ".rc", out);
    EXPECT_NE(std::string::npos, run.errors.find(".rc:1: error: unsupported #if expression")) << run.errors;
    run = Tool(QELV_RCC, "1 VERSIONINFO\n FILEVERSION 1,2,3,4,5\nBEGIN\nEND\n", ".rc", out);
    EXPECT_NE(std::string::npos, run.errors.find("up to four numbers")) << run.errors;
    EXPECT_EQ(0, Tool(QELV_RCC, "STRINGTABLE { 1, \"one\" }\n", ".rc", out).status);
}

}  // namespace
