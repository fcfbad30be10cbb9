// The spinning square turned by a frame count, as if every frame took a sixtieth of a second.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    static int Frames = 0;
    const float Angle = 1.5f * static_cast<float>(Frames++);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glLoadIdentity();
    ::glRotatef(Angle, 0.0f, 0.0f, 1.0f);
    ::glBegin(GL_QUADS);
    ::glColor3f(1.0f, 0.5f, 0.0f);
    ::glVertex2f(-2.0f, -2.0f);
    ::glColor3f(1.0f, 1.0f, 0.0f);
    ::glVertex2f(2.0f, -2.0f);
    ::glColor3f(0.0f, 0.8f, 1.0f);
    ::glVertex2f(2.0f, 2.0f);
    ::glColor3f(0.6f, 0.0f, 1.0f);
    ::glVertex2f(-2.0f, 2.0f);
    ::glEnd();
}
