// LoadProgram's pure parts: a driver's log at the file's own lines, the path as the compiler
// spelled it, and the bounded read.
#include "ShaderFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{

using ShaderFiles::MapLog;

const std::string Path = "/home/ann/exercises/Mine.frag";

TEST(ShaderLog, EachDriversFormIsToldAtTheFilesLineInTheCompilersForm)
{
    // Mesa (this machine's), NVIDIA's and the form AMD, Intel and glslang share.
    EXPECT_EQ(MapLog("0:5(2): error: syntax error, unexpected '}'\n", Path),
              Path + ":5: error: syntax error, unexpected '}'\n");
    EXPECT_EQ(MapLog("0:12(10): warning: `x' used uninitialized\n", Path),
              Path + ":12: warning: `x' used uninitialized\n");
    EXPECT_EQ(MapLog("0(5) : error C0000: syntax error, unexpected '}'", Path),
              Path + ":5: error: C0000: syntax error, unexpected '}'\n");
    EXPECT_EQ(MapLog("0(7) : warning C7050: \"c\" might be used before being initialized", Path),
              Path + ":7: warning: C7050: \"c\" might be used before being initialized\n");
    EXPECT_EQ(MapLog("ERROR: 0:5: 'vColour' : undeclared identifier \n", Path),
              Path + ":5: error: 'vColour' : undeclared identifier\n");
    EXPECT_EQ(MapLog("WARNING: 0:3: extension not supported\r\n", Path),
              Path + ":3: warning: extension not supported\n");
    // Several at once, each in its order; Windows line ends and a closing NUL are no messages.
    EXPECT_EQ(MapLog("0:4(1): error: a\r\n\r\n0:9(3): error: b\r\n", Path),
              Path + ":4: error: a\n" + Path + ":9: error: b\n");
    EXPECT_EQ(MapLog(std::string("0:1(1): error: a\n\0", 17), Path), Path + ":1: error: a\n");
}

TEST(ShaderLog, ALineThatNamesNoLineOfTheFileIsKeptWithoutOne)
{
    // Mesa's link errors, glslang's summary, a message at line 0, another source string's line,
    // and text no driver is known to write: none is lost.
    EXPECT_EQ(MapLog("error: fragment shader input `v' has no matching output\n", Path),
              Path + ": error: fragment shader input `v' has no matching output\n");
    EXPECT_EQ(MapLog("ERROR: 1 compilation errors.  No code generated.", Path),
              Path + ": error: 1 compilation errors.  No code generated.\n");
    EXPECT_EQ(MapLog("0:0(0): error: no main()", Path), Path + ": error: no main()\n");
    EXPECT_EQ(MapLog("1:5(2): error: elsewhere", Path),
              Path + ": error: 1:5(2): error: elsewhere\n");
    EXPECT_EQ(MapLog("warning: a link warning", Path), Path + ": warning: a link warning\n");
    EXPECT_EQ(MapLog("Vertex info\n-----------\n", Path),
              Path + ": error: Vertex info\n" + Path + ": error: -----------\n");
    EXPECT_EQ(MapLog("0:99999999999(1): error: huge", Path),
              Path + ": error: 0:99999999999(1): error: huge\n");
    EXPECT_EQ(MapLog("", Path), "");
}

TEST(ShaderLog, ADriversTextCannotBreakALineAndAFloodIsCounted)
{
    EXPECT_EQ(MapLog("0:2(1): error: a\rb\x1b[2Jc\td", Path), Path + ":2: error: a b [2Jc d\n");

    std::string Flood;
    for (int I = 1; I <= 70; ++I)
        Flood += "0:" + std::to_string(I) + "(1): error: e\n";
    const std::string Mapped = MapLog(Flood, Path);
    size_t Lines = 0;
    for (char C : Mapped)
        Lines += C == '\n';
    EXPECT_EQ(Lines, 51u);
    EXPECT_NE(Mapped.find(Path + ":50: error: e\n"), std::string::npos);
    EXPECT_EQ(Mapped.find(Path + ":51: error: e\n"), std::string::npos);
    EXPECT_NE(Mapped.find(Path + ": error: 20 more messages"), std::string::npos);
}

TEST(ShaderPath, ANameIsBesideTheSourceFileAsTheCompilerSpeltIt)
{
    using ShaderFiles::PathOf;
    EXPECT_EQ(PathOf("Mine.frag", "/work/ex/Mine.cpp"), "/work/ex/Mine.frag");
    EXPECT_EQ(PathOf("Mine.frag", "C:\\class\\ex\\Mine.cpp"), "C:\\class\\ex\\Mine.frag");
    EXPECT_EQ(PathOf("Mine.frag", "exercises\\sub/Mine.cpp"), "exercises\\sub/Mine.frag");
    EXPECT_EQ(PathOf("shaders/Mine.frag", "../ex/Mine.cpp"), "../ex/shaders/Mine.frag");
    EXPECT_EQ(PathOf("Mine.frag", "Mine.cpp"), "Mine.frag");
    EXPECT_EQ(PathOf("Mine.frag", ""), "Mine.frag");
    // An absolute name is its own path.
    EXPECT_EQ(PathOf("/srv/Mine.frag", "/work/ex/Mine.cpp"), "/srv/Mine.frag");
    EXPECT_EQ(PathOf("D:\\Mine.frag", "/work/ex/Mine.cpp"), "D:\\Mine.frag");
}

TEST(ShaderRead, AFileIsReadWholeUpToOneMebibyteAndRefusedPastIt)
{
    for (const size_t Size : {size_t{0}, size_t{5}, ShaderFiles::SizeLimit,
                              ShaderFiles::SizeLimit + 1, 3 * ShaderFiles::SizeLimit})
    {
        std::FILE* File = std::tmpfile();
        ASSERT_NE(File, nullptr);
        const std::string Written(Size, 'x');
        ASSERT_EQ(std::fwrite(Written.data(), 1, Size, File), Size);
        std::rewind(File);
        std::string Text = "left over";
        const ShaderFiles::TRead Result = ShaderFiles::ReadBounded(File, Text);
        if (Size <= ShaderFiles::SizeLimit)
        {
            EXPECT_EQ(Result, ShaderFiles::TRead::Read) << Size;
            EXPECT_EQ(Text, Written) << Size;
        }
        else
        {
            EXPECT_EQ(Result, ShaderFiles::TRead::TooLarge) << Size;
            EXPECT_TRUE(Text.empty()) << Size;
            // Read no further than one byte past the bound.
            EXPECT_EQ(std::ftell(File), static_cast<long>(ShaderFiles::SizeLimit + 1)) << Size;
        }
        std::fclose(File);
    }
}

} // namespace
