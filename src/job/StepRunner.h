// Runs the labelled steps of one command routine. A step that raises a RuntimeError (or runs
// out of memory) is reported with the common "Application Error" box naming the routine and
// the label, recorded in the job's outcome when there is one, and the routine goes on with its
// next step.
#pragma once

#include "job/ErrorReport.h"
#include "job/MixRequest.h"
#include "platform/RuntimeError.h"
#include "job/UiPort.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorell {

class StepRunner {
public:
    // `errors`, when given, receives every report made.
    StepRunner(UiPort& ui, std::string_view routine, std::vector<StepError>* errors = nullptr)
        : m_ui(ui), m_routine(routine), m_errors(errors)
    {
    }

    // True when the step completed.
    template <class Step>
    bool run(int label, Step&& step)
    {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const RuntimeError& e) {
            report(label, e.number(), e.description(), e.inputProblem());
        } catch (const std::bad_alloc&) {
            report(label, errnum::OutOfMemory, "Out of memory");
        } catch (const std::exception& e) {
            // A library's own failure (a file system error, a length error): still a failed
            // step, reported like the others, so the routine reaches its closing step.
            report(label, 0, e.what());
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
    void report(int label, int number, const std::string& description, const std::string& inputProblem = {})
    {
        if (m_errors)
            m_errors->push_back({number, description, m_routine, label, inputProblem});
        showApplicationError(m_ui, m_routine, label, description);
    }

    UiPort& m_ui;
    std::string m_routine;
    std::vector<StepError>* m_errors;
};

}  // namespace vantorell
