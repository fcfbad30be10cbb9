// Throws with a text that a spreadsheet would take for a formula and that carries terminal
// escapes (clear the screen, move the cursor home): it must reach the teacher as plain text.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    throw Exception("=HYPERLINK(\"http://example.invalid\") \x1b[2J\x1b[H");
}
