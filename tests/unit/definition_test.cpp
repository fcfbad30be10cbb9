#include <FormDefinition.h>
#include <SysUtils.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

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

TEST(DefinitionReader, ReadsEveryPropertyOfAWindow)
{
    const TFormDefinition Form = ReadFormDefinition(MainWindow, "TFORM1");
    EXPECT_EQ(Form.ObjectName, "Form1");
    EXPECT_EQ(Form.ClassName, "TForm1");
    EXPECT_EQ(Form.ClassLine, 2);
    EXPECT_EQ(Form.Left, 194);
    EXPECT_EQ(Form.Top, -111);
    EXPECT_EQ(Form.Width, 800);
    EXPECT_EQ(Form.Height, 600);
    EXPECT_EQ(Form.Caption, "Zorv \"OpenGL\" \\ Tutorial Exercise");
    EXPECT_EQ(Form.Font.Charset, 1);
    EXPECT_EQ(Form.Font.Color, clWindowText);
    EXPECT_EQ(Form.Font.Height, -11);
    EXPECT_EQ(Form.Font.Name, "MS Sans Serif");
    EXPECT_EQ(Form.Font.Style, fsBold | fsStrikeOut);
    EXPECT_EQ(Form.Position, TPosition::poScreenCenter);
    EXPECT_EQ(Form.PixelsPerInch, 96);
    EXPECT_EQ(Form.TextHeight, 13);
    ASSERT_EQ(Form.Events.size(), 2u);
    EXPECT_EQ(Form.Events[0].Event, "OnCreate");
    EXPECT_EQ(Form.Events[0].Method, "FormCreate");
    EXPECT_EQ(Form.Events[0].Line, 14);
    EXPECT_EQ(Form.Events[1].Event, "OnKeyDown");
    EXPECT_EQ(Form.Events[1].Line, 15);
}

TEST(DefinitionReader, AcceptsWindowsLineEndsABomAndMissingProperties)
{
    const TFormDefinition Form = ReadFormDefinition(
        "\xEF\xBB\xBF\r\n\tform  F :T  \r\nCaption=\"\xC3\xA9t\xC3\xA9\"\r\nFont.Style = [ ]", "T");
    EXPECT_EQ(Form.ClassName, "T");
    EXPECT_EQ(Form.Caption, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(Form.Font.Style, 0u);
    EXPECT_EQ(Form.Width, TFormDefinition().Width);
    EXPECT_EQ(Form.Font.Name, TFont().Name);
}

struct TBadDefinition
{
    std::string_view Text;
    const char* Message; // the whole message, resource, line and property included
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
        EXPECT_EQ(E.Message(), GetParam().Message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DefinitionReaderFault,
    testing::Values(
        TBadDefinition{"", "TFORM1, line 0: no 'form Name: Class' line"},
        TBadDefinition{"Width = 3\nform F: T",
                       "TFORM1, line 1: property Width before the 'form Name: Class' line"},
        TBadDefinition{"form F: T\nform G: T",
                       "TFORM1, line 2: a second 'form' line; a definition describes one form"},
        TBadDefinition{"form F T", "TFORM1, line 1: expected 'form Name: Class'"},
        TBadDefinition{"form F: T\nWidth 800",
                       "TFORM1, line 2: expected 'Property = Value', got \"Width\""},
        TBadDefinition{"form F: T\nColour = 1",
                       "TFORM1, line 2, property Colour: unknown property"},
        TBadDefinition{"form F: T\nWidth = 1\nWidth = 2",
                       "TFORM1, line 3, property Width: given twice"},
        TBadDefinition{"form F: T\nWidth =", "TFORM1, line 2, property Width: no value"},
        TBadDefinition{"form F: T\nWidth = 80x",
                       "TFORM1, line 2, property Width: unexpected \"x\" after the value"},
        TBadDefinition{
            "form F: T\nWidth = -1",
            "TFORM1, line 2, property Width: expected an integer from 0 to 32767, got \"-1\""},
        TBadDefinition{"form F: T\nLeft = 99999999999999999999",
                       "TFORM1, line 2, property Left: \"99999999999999999999\" is out of range"},
        TBadDefinition{"form F: T\nWidth = -",
                       "TFORM1, line 2, property Width: \"-\" is not a number"},
        TBadDefinition{
            "form F: T\nCaption = Hello",
            "TFORM1, line 2, property Caption: expected a string in double quotes, got \"Hello\""},
        TBadDefinition{
            "form F: T\nCaption = \"open",
            "TFORM1, line 2, property Caption: the string \"\\x22open\" has no closing quote"},
        TBadDefinition{"form F: T\nCaption = \"a\\nb\"",
                       "TFORM1, line 2, property Caption: unknown escape in "
                       "\"\\x22a\\x5Cnb\\x22\"; only \\\" and \\\\ are known"},
        TBadDefinition{
            "form F: T\nCaption = \"a\tb\"",
            "TFORM1, line 2, property Caption: control character in \"\\x22a\\x09b\\x22\""},
        TBadDefinition{
            "form F: T\nCaption = \"\xC3\"",
            "TFORM1, line 2, property Caption: the string \"\\x22\\xC3\\x22\" is not valid UTF-8"},
        TBadDefinition{"form F: T\nPosition = poCentre",
                       "TFORM1, line 2, property Position: \"poCentre\" is not one of poDesigned, "
                       "poDefaultPosOnly, poScreenCenter"},
        TBadDefinition{
            "form F: T\nFont.Style = [fsBold",
            "TFORM1, line 2, property Font.Style: the set \"[fsBold\" has no closing bracket"},
        TBadDefinition{
            "form F: T\nFont.Style = [fsHuge]",
            "TFORM1, line 2, property Font.Style: \"fsHuge\" is not one of fsBold, fsItalic, "
            "fsUnderline, fsStrikeOut"},
        TBadDefinition{"form F: T\nOnCreate = 12",
                       "TFORM1, line 2, property OnCreate: expected a name, got \"12\""},
        TBadDefinition{"form F: T\nWidth = \x01",
                       "TFORM1, line 2, property Width: \"\\x01\" is not a value"},
        TBadDefinition{std::string_view("form F: T\nWidth = 1\0", 20),
                       "TFORM1, line 2, property Width: unexpected \"\\x00\" after the value"}));

} // namespace
