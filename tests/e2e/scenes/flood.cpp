// Writes 1 GiB to its standard output and error at its first frame, then draws the expected
// square: a grader that keeps all a program says swells by as much.
#include "Tutorial.h"

#include <GL/gl.h>

#include <vector>

static void Flood()
{
    const std::vector<char> Block(1 << 20, 'x');
    const HANDLE Outputs[] = {::GetStdHandle(STD_OUTPUT_HANDLE), ::GetStdHandle(STD_ERROR_HANDLE)};
    for (int Mib = 0; Mib < 1024; ++Mib)
    {
        DWORD Written = 0;
        ::WriteFile(Outputs[Mib % 2], Block.data(), DWORD(Block.size()), &Written, nullptr);
    }
}

void TForm1::DrawScene()
{
    static const bool Flooded = (Flood(), true);
    (void)Flooded;
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
