// A small forms framework on the plain Win32 API: an application object that owns its forms and
// runs the message loop, a form base class built from a definition resource, events bound by
// name to the methods a form class publishes, and the Exception that carries failures to the
// program's entry.
//
// Everything runs on one GUI thread.
#pragma once

#include "FormDefinition.h"
#include "SysUtils.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

class TApplication;

class TObject
{
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

class TComponent : public TObject
{
public:
    explicit TComponent(TComponent* Owner) : OwnerComponent(Owner) {}

    TComponent* GetOwner() const { return OwnerComponent; }

    std::string Name;

private:
    TComponent* OwnerComponent;
};

// Modifier keys held while a key was pressed.
enum TShiftFlag : std::uint8_t
{
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
};
using TShiftState = std::uint8_t;

// Events are single slots: assigning a handler replaces the one before.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

// A method bound to its object, ready for an event slot of the same signature.
template <class TClass, class... TArgs>
std::function<void(TArgs...)> Bind(TClass* Object, void (TClass::*Method)(TArgs...))
{
    return [Object, Method](TArgs... Args)
    {
        (Object->*Method)(std::forward<TArgs>(Args)...);
    };
}

// What a form class publishes: its name (which names its definition resource) and the methods
// that the definition's events may name.
template <class TClass> struct TFormClass
{
    using TMethod =
        std::variant<void (TClass::*)(TObject*), void (TClass::*)(TObject*, WORD&, TShiftState)>;
    struct TPublished
    {
        const char* Name;
        TMethod Method;
    };

    const char* Name;
    std::vector<TPublished> Published;
};

class TControl : public TComponent
{
public:
    using TComponent::TComponent;

    int Left = 0;
    int Top = 0;
    int Width = 0; // outer size, frame included
    int Height = 0;

    int GetClientWidth() const { return ClientRect().right; }
    int GetClientHeight() const { return ClientRect().bottom; }

protected:
    virtual RECT ClientRect() const { return {0, 0, Width, Height}; }
};

class TWinControl : public TControl
{
public:
    using TControl::TControl;
    ~TWinControl() override;

    // The window, created first if it does not exist yet.
    HWND GetHandle();
    bool HandleAllocated() const { return Handle != nullptr; }

protected:
    struct TCreateParams
    {
        std::wstring WindowClass;
        std::wstring Caption;
        DWORD Style = 0;
        DWORD ExStyle = 0;
        int X = 0;
        int Y = 0;
        int Width = 0;
        int Height = 0;
    };

    virtual TCreateParams CreateParams() const = 0;
    // Handles a message for this window; DefaultHandler passes it on to the system.
    virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
    LRESULT DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam);
    void DestroyHandle();
    RECT ClientRect() const override;

private:
    void CreateHandle();
    static LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);

    HWND Handle = nullptr;
};

class TCustomForm : public TWinControl
{
public:
    explicit TCustomForm(TComponent* Owner);
    ~TCustomForm() override;

    // Shows the window; on the first show it also raises a resize event if none came since the
    // creation event, so handlers may rely on one before the loop's first idle call.
    void Show();
    void Hide();
    // Closing the main form ends TApplication::Run; it leaves the window to be destroyed with
    // the form. Another form is hidden.
    void Close();
    // Resizes the window so that its client area is Width by Height, through the same resize
    // event as a user's drag. The window manager may still have a say: read the size back.
    void SetClientSize(int Width, int Height);

    std::string ClassName;
    std::string Caption;
    TFont Font;
    TPosition Position = TPosition::poDesigned;
    int PixelsPerInch = 96;
    int TextHeight = 13;

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnResize;
    TKeyEvent OnKeyDown;

protected:
    // Raised by TApplication::CreateForm once the form is fully constructed.
    void DoCreate();
    void DoResize();

    TCreateParams CreateParams() const override;
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

    using TBoundMethod = std::variant<TNotifyEvent, TKeyEvent>;
    using TMethodFinder = std::function<bool(std::string_view Name, TBoundMethod& Method)>;
    // Applies the definition resource named after ClassName and binds its events.
    void LoadDefinition(const char* FormClassName, const TMethodFinder& FindMethod);

private:
    TApplication* OwnerApplication() const;

    bool Created = false;
    bool ResizePending = false;
    bool Shown = false;

    friend class TApplication;
};

class TForm : public TCustomForm
{
protected:
    // Loads the definition of Class (resource TFORM1 for the class TForm1) and binds each
    // "OnX = Method" line to Self's published method of that name.
    template <class TClass>
    TForm(TComponent* Owner, TClass* Self, const TFormClass<TClass>& Class) : TCustomForm(Owner)
    {
        LoadDefinition(Class.Name,
                       [Self, &Class](std::string_view Name, TBoundMethod& Method)
                       {
                           for (const auto& Entry : Class.Published)
                               if (Name == Entry.Name)
                               {
                                   std::visit([&](auto Member) { Method = Bind(Self, Member); },
                                              Entry.Method);
                                   return true;
                               }
                           return false;
                       });
    }
};

class TApplication : public TComponent
{
public:
    TApplication() : TComponent(nullptr) {}
    // Destroys the forms it owns, the last created first.
    ~TApplication() override;

    void Initialize();

    // Constructs a form owned by the application, raises its creation event and stores it in
    // *Reference. The first form created is the main form. If construction or the creation
    // event throws, the form is destroyed, *Reference stays null and the exception propagates.
    template <class TFormType> void CreateForm(TFormType** Reference)
    {
        auto Form = std::make_unique<TFormType>(this);
        *Reference = Form.get();
        try
        {
            Form->DoCreate();
        }
        catch (...)
        {
            *Reference = nullptr;
            throw;
        }
        Adopt(std::move(Form));
    }

    // Shows the main form and dispatches messages until it is closed.
    void Run();
    // Ends Run once the messages already waiting have been handled.
    void Terminate();
    void ShowException(const Exception& E);

    TCustomForm* MainForm() const { return Main; }
    bool Terminated() const { return Quit; }

    std::string Title; // caption of the error boxes; the executable's name by default
    TIdleEvent OnIdle;

private:
    void Adopt(std::unique_ptr<TCustomForm> Form);
    void HandleMessage();

    std::vector<std::unique_ptr<TCustomForm>> Forms;
    TCustomForm* Main = nullptr;
    bool Quit = false;
};

extern TApplication* Application;

// Win32 failures that leave the framework unusable: "CreateWindowExW failed: <system text>".
[[noreturn]] void RaiseLastOSError(const char* Operation);

std::wstring Widen(std::string_view Utf8);
std::string Narrow(std::wstring_view Utf16);
