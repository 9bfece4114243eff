#pragma once
// Progress sink of every long operation. SetPos and StepIt are the cancellation
// points: after a confirmed Abort they throw CRDPExcept with cause 11.

#include <string>

class CMeterInfoBase {
public:
    virtual void SetCaption(const char* caption) = 0;
    virtual void SetText(const char* text) = 0;
    virtual void SetPos(double pos) = 0;
    virtual void SetRange(double lo, double hi) = 0;
    virtual void GetRange(double* lo, double* hi) = 0;
    virtual void GetPos(double* pos) = 0;
    virtual void SetStep(double step) = 0;
    virtual void StepIt() = 0;
    virtual std::string GetCaption() = 0;
    virtual std::string GetText() = 0;

protected:
    // Not deleted through this interface.
    ~CMeterInfoBase() = default;
};
