// TDM, the data module: it carries the skin controller. From its creation on every window
// of the program, message boxes included, is painted in the dark skin "Black".
#pragma once

#include <QObject>
#include <QString>

// Applies a named skin to the whole application.
class TSkinController : public QObject {
public:
    explicit TSkinController(QObject* parent = nullptr);
    QString SkinName() const { return m_skinName; }
    void SetSkinName(const QString& name);

private:
    QString m_skinName;
};

class TDM : public QObject {
public:
    explicit TDM(QObject* parent = nullptr);
    TSkinController* SkinController() const { return m_skin; }

private:
    TSkinController* m_skin;
};
