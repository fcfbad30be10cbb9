// Never returns from the first frame.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    volatile bool Forever = true;
    while (Forever)
    {
    }
}
