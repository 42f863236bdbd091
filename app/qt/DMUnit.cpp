#include "app/qt/DMUnit.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace {

QPalette blackPalette() {
    const QColor window(0x2B, 0x2B, 0x2B);
    const QColor base(0x1E, 0x1E, 0x1E);
    const QColor button(0x3A, 0x3A, 0x3A);
    const QColor text(0xE6, 0xE6, 0xE6);
    const QColor dim(0x80, 0x80, 0x80);
    const QColor accent(0xF0, 0x9B, 0x14);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dim);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, accent);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Link, accent);
    p.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4A));
    p.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x30));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x18));
    p.setColor(QPalette::Shadow, Qt::black);
    // A disabled text control is painted in the button face colour.
    p.setColor(QPalette::Disabled, QPalette::Base, button);
    p.setColor(QPalette::Disabled, QPalette::Text, dim);
    p.setColor(QPalette::Disabled, QPalette::WindowText, dim);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, dim);
    return p;
}

// Tab height 19 with the orange bar over the active tab; the page border colour stays.
const char* const kBlackStyleSheet = R"(
QTabWidget::pane { border: 1px solid #919B9C; top: -1px; }
QTabBar::tab { height: 19px; padding: 0 8px; background: #3A3A3A; color: #E6E6E6;
               border: 1px solid #919B9C; border-bottom: none; margin-right: 1px; }
QTabBar::tab:selected { background: #2B2B2B; border-top: 3px solid #F09B14; }
QTabBar::tab:!selected { margin-top: 2px; }
QSplitter::handle { background: #3A3A3A; }
QSplitter::handle:hover { background: #4A4A4A; }
)";

}  // namespace

TSkinController::TSkinController(QObject* parent) : QObject(parent) {}

void TSkinController::SetSkinName(const QString& name) {
    m_skinName = name;
    if (name == QLatin1String("Black")) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(blackPalette());
        qApp->setStyleSheet(QString::fromLatin1(kBlackStyleSheet));
    }
}

TDM::TDM(QObject* parent) : QObject(parent), m_skin(new TSkinController(this)) {
    setObjectName(QStringLiteral("DM"));
    m_skin->SetSkinName(QStringLiteral("Black"));
}
