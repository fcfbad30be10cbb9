#include <FormDefinition.h>
#include <SysUtils.h>

#include <gtest/gtest.h>

#include <tuple>

namespace
{

const char* const MainWindow = R"(# comment
form Form1: TForm1
Left = 194
Top = -111
Width = 800
Height = 600
Caption = "Zorv \"OpenGL\" \\ Tutorial Exercise"   # trailing comment
Font.Charset = DEFAULT_CHARSET
Font.Color = clWindowText
Font.Height = -11
Font.Name = "MS Sans Serif"
Font.Style = [fsBold, fsStrikeOut]
Position = poScreenCenter
OnCreate = FormCreate
OnKeyDown = FormKeyDown
PixelsPerInch = 96
TextHeight = 13
)";

TEST(DefinitionReader, ReadsEveryPropertyAndTakesWindowsLineEndsABomAndMissingProperties)
{
    const TFormDefinition Form = ReadFormDefinition(MainWindow, "TFORM1");
    EXPECT_EQ(std::tie(Form.ObjectName, Form.ClassName, Form.ClassLine),
              std::make_tuple("Form1", "TForm1", 2));
    EXPECT_EQ(std::tie(Form.Left, Form.Top, Form.Width, Form.Height),
              std::make_tuple(194, -111, 800, 600));
    EXPECT_EQ(Form.Caption, "Zorv \"OpenGL\" \\ Tutorial Exercise");
    EXPECT_EQ(std::tie(Form.Font.Charset, Form.Font.Color, Form.Font.Height, Form.Font.Name,
                       Form.Font.Style),
              std::make_tuple(1, clWindowText, -11, "MS Sans Serif", fsBold | fsStrikeOut));
    EXPECT_EQ(std::tie(Form.Position, Form.PixelsPerInch, Form.TextHeight),
              std::make_tuple(TPosition::poScreenCenter, 96, 13));
    ASSERT_EQ(Form.Events.size(), 2u);
    EXPECT_EQ(std::tie(Form.Events[0].Event, Form.Events[0].Method, Form.Events[0].Line),
              std::make_tuple("OnCreate", "FormCreate", 14));
    EXPECT_EQ(std::tie(Form.Events[1].Event, Form.Events[1].Line),
              std::make_tuple("OnKeyDown", 15));

    const TFormDefinition Bare = ReadFormDefinition(
        "\xEF\xBB\xBF\r\n\tform  F :T  \r\nCaption=\"\xC3\xA9t\xC3\xA9\"\r\nFont.Style = [ ]", "T");
    EXPECT_EQ(std::tie(Bare.ClassName, Bare.Caption, Bare.Font.Style),
              std::make_tuple("T", "\xC3\xA9t\xC3\xA9", 0u));
    EXPECT_EQ(std::tie(Bare.Width, Bare.Font.Name),
              std::make_tuple(TFormDefinition().Width, TFont().Name));
}

struct TBadDefinition
{
    std::string_view Text;
    const char* Message; // after the resource: the line, the property and what is wrong
};

class DefinitionReaderFault : public testing::TestWithParam<TBadDefinition>
{
};

TEST_P(DefinitionReaderFault, EndsInAnExceptionNamingWhereAndWhat)
{
    try
    {
        ReadFormDefinition(GetParam().Text, "TFORM1");
        FAIL() << "no exception for: " << GetParam().Text;
    }
    catch (const Exception& E)
    {
        EXPECT_EQ(E.Message(), std::string("TFORM1, ") + GetParam().Message);
    }
}

const TBadDefinition BadDefinitions[] = {
    {"", "line 0: no 'form Name: Class' line"},
    {"Width = 3\nform F: T", "line 1: property Width before the 'form Name: Class' line"},
    {"form F: T\nform G: T", "line 2: a second 'form' line; a definition describes one form"},
    {"form F T", "line 1: expected 'form Name: Class'"},
    {"form F: T\nWidth 800", "line 2: expected 'Property = Value', got \"Width\""},
    {"form F: T\nColour = 1", "line 2, property Colour: unknown property"},
    {"form F: T\nWidth = 1\nWidth = 2", "line 3, property Width: given twice"},
    {"form F: T\nWidth =", "line 2, property Width: no value"},
    {"form F: T\nWidth = -1",
     "line 2, property Width: expected an integer from 0 to 32767, got \"-1\""},
    {"form F: T\nLeft = 99999999999999999999",
     "line 2, property Left: \"99999999999999999999\" is out of range"},
    {"form F: T\nWidth = -", "line 2, property Width: \"-\" is not a number"},
    {"form F: T\nCaption = Hello",
     "line 2, property Caption: expected a string in double quotes, got \"Hello\""},
    {"form F: T\nCaption = \"open",
     "line 2, property Caption: the string \"\\x22open\" has no closing quote"},
    {"form F: T\nCaption = \"a\\nb\"", "line 2, property Caption: unknown escape in "
                                       "\"\\x22a\\x5Cnb\\x22\"; only \\\" and \\\\ are known"},
    {"form F: T\nCaption = \"a\tb\"",
     "line 2, property Caption: control character in \"\\x22a\\x09b\\x22\""},
    {"form F: T\nCaption = \"\xC3\"",
     "line 2, property Caption: the string \"\\x22\\xC3\\x22\" is not valid UTF-8"},
    {"form F: T\nPosition = poCentre",
     "line 2, property Position: \"poCentre\" is not one of poDesigned, "
     "poDefaultPosOnly, poScreenCenter"},
    {"form F: T\nFont.Style = [fsBold",
     "line 2, property Font.Style: the set \"[fsBold\" has no closing bracket"},
    {"form F: T\nFont.Style = [fsHuge]",
     "line 2, property Font.Style: \"fsHuge\" is not one of fsBold, fsItalic, "
     "fsUnderline, fsStrikeOut"},
    {"form F: T\nOnCreate = 12", "line 2, property OnCreate: expected a name, got \"12\""},
    {"form F: T\nWidth = \x01", "line 2, property Width: \"\\x01\" is not a value"},
    {std::string_view("form F: T\nWidth = 1\0", 20),
     "line 2, property Width: unexpected \"\\x00\" after the value"}};

INSTANTIATE_TEST_SUITE_P(Faults, DefinitionReaderFault, testing::ValuesIn(BadDefinitions));

} // namespace
