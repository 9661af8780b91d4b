// The program's main window with its own forms against a simulated reader: the bench
// of the forms' end-to-end tests.
#pragma once

#include "ShellTestSupport.h"
#include "app/MainFrame.h"
#include "app/NfcProgDoc.h"
#include "sim/Bytes.h"

#include <QString>

#include <memory>

namespace kqtest {

// A reader (KQ-LMX38 on a pty), fresh settings naming it (or `portName`), a document
// and the main window with the program's forms. The window is not shown, so no
// connection test runs; the engine opens the port on first use.
struct FrameBench {
    explicit FrameBench(const QString& portName = {}) {
        FreshSettings(portName.isEmpty() ? reader.Path() : portName);
        frame = std::make_unique<CMainFrame>(&doc);
    }
    ~FrameBench() { frame.reset(); }
    FrameBench(const FrameBench&) = delete;
    FrameBench& operator=(const FrameBench&) = delete;

    kqsim::Simulator& sim() { return reader.sim; }
    // The pane's form as a Form, or null.
    template <class Form> Form* View() const { return qobject_cast<Form*>(frame->ActiveView()); }
    // The control of the pane's form with this id (object name), or null.
    template <class Control = QWidget> Control* Find(const char* id) const {
        return frame->ActiveView() ? frame->ActiveView()->findChild<Control*>(QLatin1String(id)) : nullptr;
    }
    // `count` bytes of the tag's memory from `page` on, as hex ("01 03 A0").
    QString Memory(kqsim::TagId id, int page, int count) const {
        const std::optional<kqsim::Bytes> memory = reader.sim.tagMemory(id);
        if (!memory || memory->size() < size_t(page * 4 + count)) return QStringLiteral("(no such memory)");
        return QString::fromStdString(
            kqsim::toHex(kqsim::Bytes(memory->begin() + page * 4, memory->begin() + page * 4 + count)));
    }

    SimReader reader{WriterConfig()};
    CNfcProgDoc doc;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace kqtest
