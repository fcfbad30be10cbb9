// A form class for the framework's tests: records every event it receives, in order.
#pragma once

#include <Forms.h>

#include <functional>
#include <string>
#include <vector>

class TProbeForm : public TForm
{
public:
    explicit TProbeForm(TComponent* Owner, const char* ClassName = "TProbeForm")
        : TForm(Owner, this, TFormClass<TProbeForm>{ClassName, Published()})
    {
    }

    void FormCreate(TObject* Sender) { Record("Create", Sender); }
    void FormDestroy(TObject* Sender) { Record("Destroy", Sender); }
    void FormResize(TObject* Sender) { Record("Resize", Sender); }
    void FormKeyDown(TObject* Sender, WORD& Key, TShiftState /*Shift*/)
    {
        Record("KeyDown " + std::to_string(Key), Sender);
    }

    std::vector<std::string>& Events = Log();
    // Shared by all probes, so that a test can read it after the form is gone.
    static std::vector<std::string>& Log()
    {
        static std::vector<std::string> Events;
        return Events;
    }

private:
    static std::vector<TFormClass<TProbeForm>::TPublished> Published()
    {
        return {{"FormCreate", &TProbeForm::FormCreate},
                {"FormDestroy", &TProbeForm::FormDestroy},
                {"FormResize", &TProbeForm::FormResize},
                {"FormKeyDown", &TProbeForm::FormKeyDown}};
    }

    void Record(const std::string& Event, TObject* Sender)
    {
        Events.push_back(Sender == this ? Event : Event + " from a stranger");
    }
};

// The message of the Exception that Call throws, or "" when it throws none.
inline std::string ThrownBy(const std::function<void()>& Call)
{
    try
    {
        Call();
    }
    catch (const Exception& E)
    {
        return E.Message();
    }
    return "";
}
