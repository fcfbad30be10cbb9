// Tries to read a file outside its folder and another student's submission through drive Z:,
// and to write a file outside its folder; if any of that works it paints the window red,
// otherwise it draws the expected square. The test puts the paths in.
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdio>

void TForm1::DrawScene()
{
    static const bool Escaped = []
    {
        const char* Reads[] = {"@SECRET@", "@OTHER@"};
        bool Any = false;
        for (const char* Path : Reads)
            if (std::FILE* File = std::fopen(Path, "rb"))
            {
                Any = true;
                std::fclose(File);
            }
        if (std::FILE* File = std::fopen("@WRITE@", "wb"))
        {
            Any = true;
            std::fputs("escaped", File);
            std::fclose(File);
        }
        return Any;
    }();
    ::glClearColor(Escaped ? 1.0f : 0.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    if (!Escaped)
        ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
