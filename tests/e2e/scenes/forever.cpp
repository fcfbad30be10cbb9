// Never returns from the first frame. It waits rather than spins: what a hung submission costs
// is its slot's time, and a spinning one is the spinner's matter.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    for (;;)
        ::Sleep(INFINITE);
}
