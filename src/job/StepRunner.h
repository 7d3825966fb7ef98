// Runs the labelled steps of one command routine. A step that raises a RuntimeError (or runs
// out of memory) is reported with the common "Application Error" box naming the routine and
// the label, and the routine goes on with its next step.
#pragma once

#include "job/ErrorReport.h"
#include "platform/RuntimeError.h"
#include "platform/UiPort.h"

#include <exception>
#include <new>
#include <string>
#include <utility>

namespace vantorell {

class StepRunner {
public:
    StepRunner(UiPort& ui, std::string routine) : m_ui(ui), m_routine(std::move(routine)) {}

    // True when the step completed.
    template <class Step>
    bool run(int label, Step&& step)
    {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const RuntimeError& e) {
            ShowApplicationError(m_ui, m_routine, label, e.description());
        } catch (const std::bad_alloc&) {
            ShowApplicationError(m_ui, m_routine, label, "Out of memory");
        } catch (const std::exception& e) {
            // A library's own failure (a file system error, a length error): still a failed
            // step, reported like the others, so the routine reaches its closing step.
            ShowApplicationError(m_ui, m_routine, label, e.what());
        }
        return false;
    }

    // A test: its answer, or true when it failed (a failing test takes its own branch).
    template <class Test>
    bool test(int label, Test&& condition)
    {
        bool answer = true;
        run(label, [&] { answer = std::forward<Test>(condition)(); });
        return answer;
    }

    const std::string& routine() const { return m_routine; }

private:
    UiPort& m_ui;
    std::string m_routine;
};

}  // namespace vantorell
