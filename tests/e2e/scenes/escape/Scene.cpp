// A submission that tries every way out of its sandbox, a way a file: the teacher's files, another
// student's, a file outside and the host's network (snoop.cpp), other X displays (xtalk.cpp), the
// kernel's namespaces and io_uring (nest.cpp), more disk and /tmp than it has (filler.cpp). Where
// one works, or proves nothing, the program stops in an error box that says so; otherwise it draws
// the expected square.
#include "Tutorial.h"

#include <GL/gl.h>

#include <string>

std::string Snoop();
std::string Xtalk();
std::string Nest();
std::string Fill();

void TForm1::DrawScene()
{
    static const std::string Out = Snoop() + Xtalk() + Nest() + Fill();
    if (!Out.empty())
        throw Exception("got out: " + Out);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
