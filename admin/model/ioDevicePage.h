#pragma once
// What a module needs of its device page. The page classes live above the
// model and implement this.
class TDevicePage {
public:
    virtual ~TDevicePage() = default;
    virtual void InitPage() = 0;
    virtual void OpenWebConsole() = 0;
    virtual void ReleaseBrowser() = 0;
};
