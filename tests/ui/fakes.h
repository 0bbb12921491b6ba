// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TESTS_UI_FAKES_H
#define TRACKFOLD_TESTS_UI_FAKES_H

#include "clock.h"
#include "userdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <string>
#include <utility>

namespace trackfold::test {

// Dialogs with answers scripted before the click and messages recorded for the
// test to check. A file request without a scripted answer fails the test and
// answers "cancel"; nothing modal ever opens.
class FakeDialogs final : public UserDialogs
{
public:
    struct Shown
    {
        MessageIcon icon;
        QString title;
        QString text;
        bool busyCursor; // was the busy pointer showing when the box came up
    };

    QStringList answers;
    QList<FileRequest> requests;
    QList<Shown> messages;

    QString chooseFile(QWidget *, const FileRequest &request) override
    {
        requests.append(request);
        if (answers.isEmpty()) {
            QTest::qFail("file dialog opened without a scripted answer", __FILE__, __LINE__);
            return QString();
        }
        return answers.takeFirst();
    }

    void showMessage(
        QWidget *, MessageIcon icon, const QString &title, const QString &text) override
    {
        messages.append({ icon, title, text, QApplication::overrideCursor() != nullptr });
    }

    // Hands the recorded messages to the test; what is left unchecked at the
    // end of a test fails it.
    QList<Shown> takeMessages() { return std::exchange(messages, {}); }
};

// A clock that gives its readings in turn and then keeps the last one.
class FakeClock final : public Clock
{
public:
    std::deque<double> readings { 0.0 };

    double seconds() override
    {
        const double now = readings.front();
        if (readings.size() > 1)
            readings.pop_front();
        return now;
    }
};

// A private home for the window: HOME and the XDG folders point into a
// temporary folder, so the documents folder is <home>/Documents.
class TemporaryHome
{
public:
    TemporaryHome()
    {
        qputenv("HOME", m_dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + QLatin1String("/.config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (m_dir.path() + QLatin1String("/.local/share")).toLocal8Bit());
        QDir(m_dir.path()).mkpath(QStringLiteral(".config"));
        QDir(m_dir.path()).mkpath(QStringLiteral("Documents/Trackfold"));
    }

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString documents() const { return m_dir.path() + QLatin1String("/Documents"); }
    QString trackfold() const { return documents() + QLatin1String("/Trackfold"); }

private:
    QTemporaryDir m_dir;
};

inline bool writeBytes(const QString &path, const std::string &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes.data(), static_cast<qint64>(bytes.size()))
        == static_cast<qint64>(bytes.size());
}

inline std::string readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

// Presses Convert and runs the event loop until the conversion it started is
// over; false when it has not ended within two minutes.
template <typename Window> bool clickConvert(Window &window)
{
    QTest::mouseClick(window.cmdCONVERTI, Qt::LeftButton);
    if (!window.converting())
        return true;
    QSignalSpy finished(&window, &Window::conversionFinished);
    return finished.wait(120000);
}

} // namespace trackfold::test

#endif
