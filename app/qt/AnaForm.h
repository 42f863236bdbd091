// TAnaForm on Qt: the program's window built from its stored layout (resources/AnaForm.ui),
// three pages, the port's name and two lamps over a background picture, the host and info
// screens and the clear button. Its behaviour is TCustomAnaForm's; this face holds the
// widgets and passes their key presses and clicks on.
#pragma once

#include <QMargins>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/AnaUnit.h"

namespace Ui {
class TAnaForm;
}
class QTextEdit;

class TAnaForm : public QWidget, public TCustomAnaForm {
public:
    explicit TAnaForm(QWidget* parent = nullptr);
    ~TAnaForm() override;

    void setVisible(bool visible) override;

    Ui::TAnaForm& Controls() const { return *m_ui; }
    QTextEdit* HostEkrani() const;
    QTextEdit* BilgiEkrani() const;

    void HostAppendLine(const std::string& Text) override;
    int HostShownLineCount() override;
    void HostClear() override;
    void InfoAppendLine(const std::string& Text) override;
    int InfoLineCount() override;
    void InfoRemoveFirstLines(int Count) override;
    void InfoClear() override;
    bool InfoEnabled() override;
    void SetInfoEnabled(bool Enabled) override;
    void ShowFirstPage() override;
    void SetPortLabel(const std::string& Text) override;
    std::string ApplicationTitle() override;
    void ShowRefusal(const std::string& Text, const std::string& Caption) override;
    void StartReopenTimer(int IntervalMs) override;
    void StopReopenTimer() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    static constexpr int kOuterWidth = 453;
    static constexpr int kOuterHeight = 408;

    void applyStoredFonts();
    void loadLamps();
    void fitOuterSize();

    std::unique_ptr<Ui::TAnaForm> m_ui;
    QTimer* m_reopenTimer;
    bool m_shown = false;
    QSize m_fittedFrame{-1, -1};  // the frame the outer size was last fitted to
    class FrameWatch;
    std::unique_ptr<FrameWatch> m_frameWatch;
    std::optional<QMargins> m_managerFrame;  // as an X window manager tells it
};
