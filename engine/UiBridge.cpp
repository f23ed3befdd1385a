#include "engine/UiBridge.h"

#include <atomic>

namespace {

// Stands in while no window exists: shows nothing, answers No.
class SilentUi final : public UiBridge {
public:
    void LogAppended(const std::string&) override {}
    void LogReplaced(size_t, const std::string&) override {}
    void LogRemoved(size_t, size_t) override {}
    void SetProgressBar(int) override {}
    void SetStatusPanel(int, const std::string&) override {}
    void ShowCounters(uint32_t, uint32_t, uint32_t, uint32_t) override {}
    UiAnswer MessageBox(const std::string&, const std::string&, UiButtons buttons, UiIcon) override {
        return buttons == UiButtons::Ok ? UiAnswer::Ok : UiAnswer::No;
    }
    void RefreshMainForm() override {}
    int MainFormLeft() override { return 0; }
    int MainFormTop() override { return 0; }
};

SilentUi silentUi;
std::atomic<UiBridge*> installedUi{nullptr};

} // namespace

UiBridge& CurrentUi() {
    UiBridge* ui = installedUi.load();
    return ui ? *ui : silentUi;
}

void InstallUiBridge(UiBridge* ui) { installedUi.store(ui); }

ScopedUiBridge::ScopedUiBridge(UiBridge& ui) : previous_(installedUi.exchange(&ui)) {}

ScopedUiBridge::~ScopedUiBridge() { installedUi.store(previous_); }

void ShowMessageBox(const std::string& text, const std::string& caption) {
    CurrentUi().MessageBox(text, caption, UiButtons::Ok, UiIcon::None);
}
