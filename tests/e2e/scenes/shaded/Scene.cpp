// The square in the colour its fragment shader gives, Mine.frag beside this file. It stands in
// for LoadProgram as the tools meet it: the shader is read when the scene runs, by its name from
// this file's folder as the compiler was given it, and an error in it is raised as LoadProgram
// raises one, "PATH:LINE: error: TEXT", PATH that folder and the name.
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdio>
#include <string>

namespace
{

struct TColour
{
    float Red, Green, Blue;
};

// The colour of the line "Colour = vec4(R, G, B, A);"; another line that sets it is an error.
TColour ReadColour(const char* Name, const char* From = __builtin_FILE())
{
    const std::string Source(From);
    const std::string Path = Source.substr(0, Source.find_last_of("/\\") + 1) + Name;
    std::FILE* File = std::fopen(Path.c_str(), "r");
    if (!File)
        throw Exception(Path + ": error: cannot be read");
    TColour Colour{0.0f, 0.0f, 0.0f};
    char Line[256];
    for (int Number = 1; std::fgets(Line, sizeof Line, File); ++Number)
    {
        const std::string Text(Line);
        float Alpha = 0.0f;
        int End = 0;
        if (Text.find("Colour =") != std::string::npos &&
            (std::sscanf(Line, " Colour = vec4(%f, %f, %f, %f);%n", &Colour.Red, &Colour.Green,
                         &Colour.Blue, &Alpha, &End) != 4 ||
             End == 0))
        {
            std::fclose(File);
            throw Exception(Path + ":" + std::to_string(Number) +
                            ": error: syntax error, unexpected ';', expecting ')'\n" + Path +
                            ": error: the program was not linked");
        }
    }
    std::fclose(File);
    return Colour;
}

} // namespace

void TForm1::DrawScene()
{
    static const TColour Colour = ReadColour("Mine.frag");
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glColor3f(Colour.Red, Colour.Green, Colour.Blue);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
