#pragma once
// A progress meter for tests: keeps what it is told, records every report, and
// fails from a chosen report on, as a cancelled job, an exhausted framework or
// an exhausted heap would.

#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors/Exception.h"
#include "jobs/MeterInfoBase.h"
#include "layer/RDPExcept.h"

namespace testsupport {

class FakeMeter final : public CMeterInfoBase {
public:
    enum class Fault {
        Cancel,    // CRDPExcept cause 11, as after a confirmed Abort
        Memory,    // the framework's memory exception
        BadAlloc,  // std::bad_alloc
        Foreign,   // an exception of nobody's library
    };

    void SetCaption(const char* c) override { caption = c ? c : ""; }
    void SetText(const char* t) override
    {
        text = t ? t : "";
        texts.push_back(text);
    }
    void SetPos(double p) override
    {
        positions.push_back(p);
        Report();
        pos = p;
    }
    void SetRange(double l, double h) override
    {
        lo = l;
        hi = h;
        ranges.push_back({l, h});
    }
    void GetRange(double* l, double* h) override
    {
        *l = lo;
        *h = hi;
    }
    void GetPos(double* p) override { *p = pos; }
    void SetStep(double s) override { step = s; }
    void StepIt() override
    {
        ++steps;
        Report();
        pos += step;
    }
    std::string GetCaption() override { return caption; }
    std::string GetText() override { return text; }

    // Reports so far: SetPos and StepIt calls together, failed ones included.
    int Reports() const { return steps + int(positions.size()); }

    // The report (counted from 1) from which every report fails with fault; 0: none.
    int failAt = 0;
    Fault fault = Fault::Cancel;

    std::string caption;
    std::string text = "before";
    std::vector<std::string> texts;
    std::vector<std::pair<double, double>> ranges;
    std::vector<double> positions;
    double lo = 0, hi = 100, pos = 40, step = 1;
    int steps = 0;

private:
    void Report()
    {
        if (failAt <= 0 || Reports() < failAt)
            return;
        switch (fault) {
        case Fault::Cancel:
            AfxThrowRDPExcept(RDP_CANCEL);
        case Fault::Memory:
            plat::ThrowMemoryException();
        case Fault::BadAlloc:
            throw std::bad_alloc();
        case Fault::Foreign:
            throw std::runtime_error("foreign");
        }
    }
};

}  // namespace testsupport
