// The program's entry: creates the main window and runs the message loop until it closes.
#include "Tutorial.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try
    {
        Application->Initialize();
        Application->CreateForm(&Form1);
        Application->Run();
    }
    catch (const Exception& E)
    {
        Application->ShowException(E);
    }
    return 0;
}
