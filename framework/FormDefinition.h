// Reads a form definition: the text resource that describes a form's properties and the names
// of the methods its events are bound to. Plain C++ with no Windows header, so that it can be
// unit-tested and fuzzed on any host.
//
// The format, one item a line; blank lines and lines starting with '#' are ignored:
//
//     form Form1: TForm1
//     Width = 800
//     Caption = "A \"quoted\" caption"
//     Font.Style = [fsBold, fsItalic]
//     Position = poScreenCenter
//     OnCreate = FormCreate
//
// Values are integers, double-quoted UTF-8 strings (with \" and \\ as the only escapes),
// identifiers, and sets of identifiers in brackets. Every property may be given once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TColor = std::int32_t;

// System colours carry this flag over the index of the system colour they stand for.
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clWindowText = clSystemColor | 8;

enum TFontStyle : unsigned
{
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};
using TFontStyles = unsigned;

struct TFont
{
    int Charset = 1; // DEFAULT_CHARSET
    TColor Color = clWindowText;
    int Height = -11;
    std::string Name = "MS Sans Serif";
    TFontStyles Style = 0;
};

enum class TPosition
{
    poDesigned,       // Left and Top as stored
    poDefaultPosOnly, // the system chooses the position
    poScreenCenter,   // centred on the work area of the primary screen when first shown
};

// "OnKeyDown = FormKeyDown" at line 12 of the definition.
struct TEventBinding
{
    std::string Event;
    std::string Method;
    int Line = 0;
};

struct TFormDefinition
{
    std::string ObjectName;
    std::string ClassName;
    int ClassLine = 0; // where the 'form Name: Class' line stands
    int Left = 0;
    int Top = 0;
    int Width = 320;
    int Height = 240;
    std::string Caption;
    TFont Font;
    TPosition Position = TPosition::poDesigned;
    int PixelsPerInch = 96;
    int TextHeight = 13;
    std::vector<TEventBinding> Events;
};

// Parses and checks the whole text; throws Exception naming the resource, the line and the
// property at the first fault, so a form is never half-built from a damaged definition.
TFormDefinition ReadFormDefinition(std::string_view Text, std::string_view ResourceName);
