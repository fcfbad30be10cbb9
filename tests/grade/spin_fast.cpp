// The spinning square at twice the speed.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    const float Angle = static_cast<float>(180.0 * SceneTime());
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
