// The unit Tutorial with a creation event that fails, for the program's entry to report.
#include <Tutorial.h>

TForm1* Form1 = nullptr;

TForm1::TForm1(TComponent* Owner) : TForm(Owner, this, Class)
{
    // Should the loop ever run, it ends the process with a code the test does not expect.
    Application->OnIdle = [](TObject*, bool&)
    {
        ::ExitProcess(42);
    };
}

void TForm1::FormCreate(TObject*)
{
    GetHandle();
    throw Exception("FormCreate failed on purpose");
}

void TForm1::FormDestroy(TObject*) {}
void TForm1::FormResize(TObject*) {}
void TForm1::FormKeyDown(TObject*, WORD&, TShiftState) {}
