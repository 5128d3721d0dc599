// sonalter-curve prints the control's line array for the points it reads.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

// Runs the tool through the shell with input on standard input; returns its
// standard output and sets status to its exit status.
std::string RunTool(const std::string& arguments, const std::string& input, int* status) {
    const std::string command = "printf '" + input + "' | '" + QELV_CURVE_TOOL + "' " + arguments + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n = 0;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int raw = pipe ? pclose(pipe) : -1;
    *status = raw >= 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

TEST(CurveTool, PrintsTheLineArrayOfEachShape) {
    int status = -1;
    EXPECT_EQ(RunTool("--xmax 200 --steepness 3 --size 8", "x,y\\n200 0\\n0,0\\n100;10\\n", &status),
              "index,x,value\n0,0,0\n1,25,2.5\n2,50,5\n3,75,6.875\n4,100,8.75\n5,125,6.875\n6,150,5\n7,175,2.5\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunTool("-t none -n 4", "0 -20 22050 20\\n", &status),
              "index,x,value\n0,0,-20\n1,5512.5,-10\n2,11025,0\n3,16537.5,10\n");
    EXPECT_EQ(RunTool("--points --ymin -5 --ymax 5", "100 9 50 -9 30000 1\\n", &status), "x,y\n0,-5\n100,5\n22050,1\n");
    EXPECT_EQ(status, 0);
    RunTool("--type three", "", &status);
    EXPECT_EQ(status, 2);
    RunTool("", "1 2 3\\n", &status);
    EXPECT_EQ(status, 2);
    RunTool("--xmin 5 --xmax 5", "", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
