// OpenGL past 1.1 in the frame, on this machine's driver: the entries by their plain names, a
// function the driver lacks, LoadProgram with the scene's files and its messages, the matrices.
#include "MainWindow.h"

#include <ShaderFiles.h>

#include <gmock/gmock.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace
{

using testing::HasSubstr;
using testing::StartsWith;

// The folder of this file as its compiler spelled it: where LoadProgram looks by default.
const std::string Here = ShaderFiles::FolderOf(__builtin_FILE());

std::string Version()
{
    return reinterpret_cast<const char*>(::glGetString(GL_VERSION));
}

// The message LoadProgram raised, or "" if it returned a program.
std::string Failure(const char* Vertex, const char* Fragment, const char* From = __builtin_FILE())
{
    try
    {
        const GLuint Program = LoadProgram(Vertex, Fragment, From);
        glDeleteProgram(Program);
        return "";
    }
    catch (const Exception& E)
    {
        return E.Message();
    }
}

// Shaders and programs alive in the context: a fresh context numbers them from 1.
int LiveObjects()
{
    int Live = 0;
    for (GLuint Id = 1; Id <= 256; ++Id)
        Live += glIsShader(Id) + glIsProgram(Id);
    return Live;
}

TEST_F(MainWindow, TheShaderBufferAndVertexArrayFunctionsWorkByTheirPlainNames)
{
    const GLuint Shader = glCreateShader(GL_VERTEX_SHADER);
    EXPECT_NE(Shader, 0u);
    glDeleteShader(Shader);
    GLuint Array = 0, Buffer = 0;
    glGenVertexArrays(1, &Array);
    glGenBuffers(1, &Buffer);
    glBindVertexArray(Array);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    const GLfloat Corners[] = {0, 0, 1, 0, 0, 1};
    glBufferData(GL_ARRAY_BUFFER, sizeof Corners, Corners, GL_STATIC_DRAW);
    GLint Size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &Size);
    EXPECT_EQ(Size, static_cast<GLint>(sizeof Corners));
    EXPECT_NE(Array, 0u);
    EXPECT_EQ(::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A driver that lacks some functions, or answers for them with one of the values some drivers
// give for a name they do not have; the rest as this machine's.
PROC WINAPI Lacking(LPCSTR Name)
{
    static const std::map<std::string, std::intptr_t> Answers = {
        {"glCreateShader", 0}, {"glGenVertexArrays", 1}, {"glBindBuffer", 2},
        {"glUseProgram", 3},   {"glDrawBuffers", -1},
    };
    const auto Answer = Answers.find(Name);
    return Answer == Answers.end() ? ::wglGetProcAddress(Name)
                                   : reinterpret_cast<PROC>(Answer->second);
}

TEST_F(MainWindow, AFunctionTheDriverLacksRaisesWithItsNameAndTheMachinesVersion)
{
    LoadGLEntries(&Lacking);
    const std::string Machine = ", and this machine's OpenGL is " + Version();
    const auto Raised = [](auto Call)
    {
        try
        {
            Call();
        }
        catch (const Exception& E)
        {
            return E.Message();
        }
        return std::string("nothing raised");
    };
    EXPECT_EQ(Raised([] { glCreateShader(GL_VERTEX_SHADER); }),
              "glCreateShader is not available: it is OpenGL 2.0" + Machine);
    EXPECT_EQ(Raised([] { glGenVertexArrays(1, nullptr); }),
              "glGenVertexArrays is not available: it is OpenGL 3.0" + Machine);
    EXPECT_EQ(Raised([] { glBindBuffer(GL_ARRAY_BUFFER, 0); }),
              "glBindBuffer is not available: it is OpenGL 1.5" + Machine);
    EXPECT_EQ(Raised([] { glUseProgram(0); }),
              "glUseProgram is not available: it is OpenGL 2.0" + Machine);
    EXPECT_EQ(Raised([] { glDrawBuffers(0, nullptr); }),
              "glDrawBuffers is not available: it is OpenGL 2.0" + Machine);
    // What the driver has still works, and LoadProgram says what is missing, leaving nothing.
    const GLuint Program = glCreateProgram();
    EXPECT_NE(Program, 0u);
    glDeleteProgram(Program);
    EXPECT_EQ(Failure("shaders/Plain.vert", "shaders/Plain.frag"),
              "glCreateShader is not available: it is OpenGL 2.0" + Machine);
    EXPECT_EQ(LiveObjects(), 0);

    // Loaded again with the driver's own resolver, every entry is the driver's.
    LoadGLEntries();
    EXPECT_EQ(Failure("shaders/Plain.vert", "shaders/Plain.frag"), "");
}

TEST_F(MainWindow, LoadProgramLinksTheFilesBesideTheScenesSource)
{
    const GLuint Program = LoadProgram("shaders/Plain.vert", "shaders/Plain.frag");
    ASSERT_TRUE(glIsProgram(Program));
    GLint Linked = GL_FALSE, Attached = -1;
    glGetProgramiv(Program, GL_LINK_STATUS, &Linked);
    glGetProgramiv(Program, GL_ATTACHED_SHADERS, &Attached);
    EXPECT_EQ(Linked, GL_TRUE);
    EXPECT_EQ(Attached, 0) << "the shaders are kept past the link";
    glDeleteProgram(Program);
    EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(MainWindow, LoadProgramTellsEachFailureAtTheFilesLineAndLeavesNothing)
{
    const std::string Frag = Here + "shaders/Broken.frag", Vert = Here + "shaders/Broken.vert";
    // This machine's driver (Mesa) at the line of each file, every message in one raise.
    EXPECT_THAT(Failure("shaders/Plain.vert", "shaders/Broken.frag"),
                StartsWith(Frag + ":5: error: syntax error"));
    const std::string Both = Failure("shaders/Broken.vert", "shaders/Broken.frag");
    EXPECT_THAT(Both, StartsWith(Vert + ":4: error: "));
    EXPECT_THAT(Both, HasSubstr("Offset"));
    EXPECT_THAT(Both, HasSubstr("\n" + Frag + ":5: error: syntax error"));
    // No line: a link error, at the fragment file; a file that is not there.
    const std::string Link = Failure("shaders/Plain.vert", "shaders/NoMain.frag");
    EXPECT_THAT(Link, StartsWith(Here + "shaders/NoMain.frag: error: "));
    EXPECT_THAT(Link, HasSubstr("main"));
    EXPECT_EQ(Failure("shaders/Plain.vert", "shaders/Missing.frag"),
              Here + "shaders/Missing.frag: error: cannot be read: No such file or directory");
    EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(MainWindow, LoadProgramFindsFilesFromAnyCurrentFolderByEitherSystemsPathAndRefusesAHugeOne)
{
    wchar_t Temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, Temp), 0u);
    std::wstring Folder =
        std::wstring(Temp) + L"modern_test." + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(Folder.c_str(), nullptr));
    ASSERT_TRUE(::SetCurrentDirectoryW(Folder.c_str()));
    char Spelt[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, Spelt), 0u);
    const std::string Windows = std::string(Spelt) + "\\";
    ASSERT_TRUE(Windows.size() > 3 && Windows[1] == ':' && Windows[2] == '\\') << Windows;

    for (const char* Name : {"Plain.vert", "Plain.frag"})
    {
        std::ifstream In(Here + "shaders/" + Name, std::ios::binary);
        std::ofstream(Name, std::ios::binary) << In.rdbuf();
    }
    std::ofstream("Huge.vert", std::ios::binary) << std::string(ShaderFiles::SizeLimit + 1, '\n');

    EXPECT_EQ(Failure("Plain.vert", "Plain.frag", (Windows + "Scene.cpp").c_str()), "");
    // This file's Linux path, with the current folder on another drive than Linux's root.
    EXPECT_EQ(Failure("shaders/Plain.vert", "shaders/Plain.frag"), "");
    EXPECT_EQ(Failure("Plain.vert", "Plain.frag", "Scene.cpp"), "");
    EXPECT_EQ(Failure("Huge.vert", "Plain.frag", (Windows + "Scene.cpp").c_str()),
              Windows + "Huge.vert: error: is larger than 1 MiB, more than any shader needs");
    EXPECT_EQ(LiveObjects(), 0);

    ::SetCurrentDirectoryW(Temp);
    for (const wchar_t* Name : {L"Plain.vert", L"Plain.frag", L"Huge.vert"})
        ::DeleteFileW((Folder + L"\\" + Name).c_str());
    ::RemoveDirectoryW(Folder.c_str());
}

TEST_F(MainWindow, TheMatricesAreTheFramesAndPassAsUniforms)
{
    Form1->SetClientSize(800, 400);
    ::glTranslatef(1, 2, 0);
    ::glMatrixMode(GL_PROJECTION); // the scene's choice: reading must not change it
    const TMatrix4 Projection = Form1->ProjectionMatrix(), ModelView = Form1->ModelViewMatrix();
    GLint Mode = 0;
    ::glGetIntegerv(GL_MATRIX_MODE, &Mode);
    EXPECT_EQ(Mode, GL_PROJECTION);
    // -6..6 by -3..3, column by column; the model-view as the scene left it.
    EXPECT_THAT(Projection.Values, testing::ElementsAre(1.0f / 6, 0, 0, 0, 0, 1.0f / 3, 0, 0, 0, 0,
                                                        -1.0f / 3, 0, 0, 0, 0, 1));
    EXPECT_THAT(ModelView.Values,
                testing::ElementsAre(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 0, 1));

    const GLuint Program = LoadProgram("shaders/Plain.vert", "shaders/Plain.frag");
    glUseProgram(Program);
    glUniformMatrix4fv(glGetUniformLocation(Program, "Projection"), 1, GL_FALSE,
                       Form1->ProjectionMatrix());
    GLfloat Given[16] = {};
    glGetUniformfv(Program, glGetUniformLocation(Program, "Projection"), Given);
    EXPECT_EQ(std::memcmp(Given, Projection.Values, sizeof Given), 0);
    EXPECT_EQ(::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
