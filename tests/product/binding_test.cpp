#include "ProbeForm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace
{

class Binding : public testing::Test
{
protected:
    void SetUp() override { TProbeForm::Log().clear(); }
};

TEST_F(Binding, EachEventReachesThePublishedMethodItNames)
{
    {
        TApplication App;
        TProbeForm* Form = nullptr;
        App.CreateForm(&Form);
        ASSERT_NE(Form, nullptr);
        EXPECT_EQ(App.MainForm(), Form);
        EXPECT_THAT(Form->Events, ElementsAre("Create"));

        Form->Events.clear();
        const HWND Window = Form->GetHandle();
        ::SetWindowPos(Window, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
        ::SendMessageW(Window, WM_KEYDOWN, 'A', 0);
        ::SendMessageW(Window, WM_SYSKEYDOWN, VK_F10, 0);
        EXPECT_THAT(Form->Events, ElementsAre("Resize", "KeyDown 65", "KeyDown 121"));
        Form->Events.clear();
    }
    EXPECT_THAT(TProbeForm::Log(), ElementsAre("Destroy"));
}

TEST_F(Binding, TheDefinitionSetsTheWindowsProperties)
{
    TApplication App;
    TProbeForm* Form = nullptr;
    App.CreateForm(&Form);
    EXPECT_EQ(Form->Name, "Probe");
    EXPECT_EQ(Form->Font.Name, "Tahoma");

    RECT Outer{};
    ::GetWindowRect(Form->GetHandle(), &Outer);
    EXPECT_THAT(Outer, testing::FieldsAre(10, 20, 310, 220)); // left, top, right, bottom
    wchar_t Caption[64] = {};
    ::GetWindowTextW(Form->GetHandle(), Caption, 64);
    EXPECT_STREQ(Caption, L"Probe \u00e9");
}

struct TBindingFault
{
    const char* ClassName;
    const char* Message;
};

class BindingFault : public testing::TestWithParam<TBindingFault>
{
};

// The class name picks the definition resource, as it does for a class of its own.
const char* NamedClass = nullptr;
struct TNamedProbe : TProbeForm
{
    explicit TNamedProbe(TComponent* Owner) : TProbeForm(Owner, NamedClass) {}
};

TEST_P(BindingFault, RaisesAnExceptionAndBuildsNoForm)
{
    TApplication App;
    NamedClass = GetParam().ClassName;
    TNamedProbe* Form = nullptr;
    EXPECT_EQ(ThrownBy([&] { App.CreateForm(&Form); }), GetParam().Message);
    EXPECT_EQ(Form, nullptr);
    EXPECT_EQ(App.MainForm(), nullptr);
    EXPECT_TRUE(TProbeForm::Log().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BindingFault,
    testing::Values(
        TBindingFault{
            "TNoDefinition",
            "The form definition TNODEFINITION is missing from the executable's resources"},
        TBindingFault{"TMissingMethod", "TMISSINGMETHOD, line 3, property OnCreate: TMissingMethod "
                                        "publishes no method NoSuchMethod"},
        TBindingFault{
            "TUnknownEvent",
            "TUNKNOWNEVENT, line 2, property OnClick: TUnknownEvent has no event OnClick"},
        TBindingFault{"TWrongSignature", "TWRONGSIGNATURE, line 3, property OnKeyDown: the method "
                                         "FormCreate does not take the parameters of OnKeyDown"},
        TBindingFault{"TWrongClass",
                      "TWRONGCLASS, line 2: describes the class TOther, not TWrongClass"},
        TBindingFault{"TBroken", "TBROKEN, line 3, property Height: expected an integer from 0 to "
                                 "32767, got \"tall\""}));

// A creation event that fails after the window exists.
class TFailingForm : public TForm
{
public:
    explicit TFailingForm(TComponent* Owner)
        : TForm(Owner, this,
                TFormClass<TFailingForm>{"TFailingForm",
                                         {{"FormCreate", &TFailingForm::FormCreate},
                                          {"FormDestroy", &TFailingForm::FormDestroy}}})
    {
    }
    void FormCreate(TObject*)
    {
        GetHandle();
        throw Exception("no context");
    }
    void FormDestroy(TObject*) { ++Destroyed; }
    static inline int Destroyed = 0;
};

TEST(CreateForm, AFailedCreationEventLeavesNoWindowAndReleasesWhatItTook)
{
    TApplication App;
    TFailingForm* Form = nullptr;
    EXPECT_THROW(App.CreateForm(&Form), Exception);
    EXPECT_EQ(Form, nullptr);
    EXPECT_EQ(App.MainForm(), nullptr);
    EXPECT_EQ(TFailingForm::Destroyed, 1);
    EXPECT_EQ(::FindWindowW(L"TFailingForm", nullptr), nullptr);
}

} // namespace
