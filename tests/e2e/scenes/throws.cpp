// Throws the framework's exception at the first frame; the program shows it in a box.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    throw Exception("The scene is not written yet");
}
