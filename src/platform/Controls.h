// Plain state of the window's controls. The model (app/WindowModel) holds them, the Qt view mirrors
// them, and the job code reads them the moment a step needs a value. A control tells its
// observer when its state changes, so the view and the settings store follow along.
#pragma once

#include <functional>
#include <string>

namespace vantorell {

class Control {
public:
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled) { if (m_enabled != enabled) { m_enabled = enabled; changed(); } }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { if (m_visible != visible) { m_visible = visible; changed(); } }
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption) { if (m_caption != caption) { m_caption = std::move(caption); changed(); } }

    std::function<void()> onChanged;   // any state change (the view repaints)

protected:
    void changed() { if (onChanged) onChanged(); }

private:
    bool m_enabled = true;
    bool m_visible = true;
    std::string m_caption;
};

class TextBox : public Control {
public:
    const std::string& text() const { return m_text; }
    void setText(std::string text)
    {
        if (m_text == text) return;
        m_text = std::move(text);
        changed();
        if (onTextChanged) onTextChanged();
    }
    std::function<void()> onTextChanged;   // the box's Change event

private:
    std::string m_text;
};

// An option button; buttons that share a container form a group (the model clears the others).
class OptionButton : public Control {
public:
    bool value() const { return m_value; }
    void setValue(bool value) { if (m_value != value) { m_value = value; changed(); } }

private:
    bool m_value = false;
};

// A slider or a scroll bar: an integer value within [min, max].
class RangeControl : public Control {
public:
    int value() const { return m_value; }
    int min() const { return m_min; }
    int max() const { return m_max; }
    void setValue(int value)
    {
        if (value < m_min) value = m_min;
        if (value > m_max) value = m_max;
        if (m_value == value) return;
        m_value = value;
        changed();
        if (onValueChanged) onValueChanged();
    }
    void setRange(int min, int max)
    {
        m_min = min;
        m_max = max < min ? min : max;
        changed();
        setValue(m_value);
    }
    std::function<void()> onValueChanged;

private:
    int m_value = 0;
    int m_min = 0;
    int m_max = 100;
};

class ProgressBar : public Control {
public:
    double value() const { return m_value; }
    double max() const { return m_max; }
    const std::string& text() const { return m_text; }
    void setValue(double value) { m_value = value; changed(); }
    void setMax(double max) { m_max = max; changed(); }
    void setText(std::string text) { m_text = std::move(text); changed(); }
    // What the job is doing ("Frame 4 of 10", "Writing GIF"; empty: nothing said), which the
    // window shows with the percentage. Set quietly: the value change that follows shows it, so
    // observers see the same changes and values as without it.
    const std::string& step() const { return m_step; }
    void setStep(std::string step) { m_step = std::move(step); }

private:
    double m_value = 0;
    double m_max = 100;
    std::string m_text = "Progress Bar";
    std::string m_step;
};

using PushButton = Control;
using Frame = Control;

}  // namespace vantorell
