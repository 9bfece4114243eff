#include "viewer3d/editors/SurfaceChannels.h"

#include <algorithm>
#include <cmath>

namespace {

void Done(const TSRowDone& RowDone)
{
    if (RowDone)
        RowDone();
}

}  // namespace

void LinearFillChannel(const TSNodeChannel& C, double Min, double Max, const TSRowDone& RowDone)
{
    if (C.Nodes == nullptr || C.XCount < 1 || C.YCount < 1)
        return;
    const float mn = float(Min);
    const float mx = float(Max);
    float start = mn;
    float dx = 0;
    float dy = 0;
    if (C.Channel == 0 && C.XCount > 1)
        dx = (mx - mn) / float(C.XCount - 1);
    else if (C.Channel == 1 && C.YCount > 1)
        dy = (mx - mn) / float(C.YCount - 1);
    else if (C.Channel >= 2)
        start = mx;
    float v = start;
    for (std::int32_t j = 0; j < C.YCount; ++j) {
        float* node = C.Row(j);
        float x = v;
        for (std::int32_t i = 0; i < C.XCount; ++i, node += C.NodeFloats) {
            *node = x;
            x += dx;
        }
        v += dy;
        Done(RowDone);
    }
}

std::vector<TSResamplePiece> ResamplePieces(std::int32_t Nodes, std::int32_t Samples)
{
    std::vector<TSResamplePiece> pieces;
    if (Nodes < 1 || Samples < 1)
        return pieces;
    const float sx = float(Nodes) / float(Samples);
    pieces.reserve(std::size_t(Nodes) + std::size_t(Samples));
    float tx = 0;
    float lx = 0;
    std::int32_t node = 0;
    std::int32_t sample = 0;
    while (node < Nodes && sample < Samples) {
        const float o = std::min(1.0f - tx, sx - lx);
        pieces.push_back({node, sample, o});
        tx += o;
        lx += o;
        if (lx >= sx) {
            ++sample;
            lx -= sx;
        }
        if (tx >= 1.0f) {
            ++node;
            tx -= 1.0f;
        }
    }
    return pieces;
}

void ResampleChannel(const TSNodeChannel& C, std::int32_t W, std::int32_t H, const TSLayerRowReader& ReadRow,
                     const TSRowDone& RowDone)
{
    if (C.Nodes == nullptr || C.XCount < 1 || C.YCount < 1 || W < 1 || H < 1)
        return;
    // The pieces of a row, by node: a node's pieces take consecutive samples,
    // so each node sums its run in a register, in the pieces' order.
    const std::vector<TSResamplePiece> pieces = ResamplePieces(C.XCount, W);
    std::vector<std::int32_t> first(std::size_t(C.XCount) + 1, std::int32_t(pieces.size()));
    std::vector<std::int32_t> firstSample(std::size_t(C.XCount), 0);
    std::vector<float> weights(pieces.size());
    for (std::size_t k = pieces.size(); k-- > 0;) {
        first[std::size_t(pieces[k].Node)] = std::int32_t(k);
        firstSample[std::size_t(pieces[k].Node)] = pieces[k].Sample;
        weights[k] = pieces[k].Weight;
    }
    std::vector<float> buffer(std::size_t(W), 0.0f);
    std::vector<float> acc(std::size_t(C.XCount), 0.0f);
    const float sy = float(C.YCount) / float(H);
    const auto flush = [&](std::int32_t J) {
        float* node = C.Row(J);
        for (std::int32_t i = 0; i < C.XCount; ++i, node += C.NodeFloats)
            *node = acc[std::size_t(i)];
    };
    // When every node takes the same number of samples, side by side, the
    // nodes are summed together, piece by piece (each still in its order).
    std::int32_t run = first[1] - first[0];
    for (std::int32_t i = 0; i < C.XCount && run > 0; ++i)
        if (first[std::size_t(i) + 1] - first[std::size_t(i)] != run || firstSample[std::size_t(i)] != i * run)
            run = 0;
    const auto addRow = [&](float Weight) {
        const float* samples = buffer.data();
        const float* wt = weights.data();
        float* sums = acc.data();
        if (run > 0) {
            for (std::int32_t k = 0; k < run; ++k)
                for (std::int32_t i = 0; i < C.XCount; ++i)
                    sums[i] += (Weight * wt[i * run + k]) * samples[i * run + k];
            return;
        }
        for (std::int32_t i = 0; i < C.XCount; ++i) {
            const std::int32_t b = first[std::size_t(i)], e = first[std::size_t(i) + 1];
            const float* s = samples + firstSample[std::size_t(i)] - b;
            float a = sums[i];
            for (std::int32_t k = b; k < e; ++k)
                a += (Weight * wt[k]) * s[k];
            sums[i] = a;
        }
    };
    float ty = 0;
    float ly = 0;
    std::int32_t r = 0;
    std::int32_t j = 0;
    ReadRow(0, buffer.data());
    for (;;) {
        const float w = std::min(1.0f - ty, sy - ly);
        addRow(w);
        ty += w;
        ly += w;
        if (ly >= sy) {
            if (++r >= H)
                break;
            ReadRow(r, buffer.data());
            ly -= sy;
        }
        if (ty >= 1.0f) {
            flush(j);
            Done(RowDone);
            if (++j >= C.YCount)
                return;
            std::fill(acc.begin(), acc.end(), 0.0f);
            ty -= 1.0f;
        }
    }
    flush(j);
    Done(RowDone);
}

void MinMaxChannel(const TSNodeChannel& C, double Min, double Max, const TSRowDone& RowDone)
{
    if (C.Nodes == nullptr || C.XCount < 1 || C.YCount < 1)
        return;
    // The range among the finite values: a NaN or an infinity takes no part.
    bool found = false;
    float lo = 0;
    float hi = 0;
    for (std::int32_t j = 0; j < C.YCount; ++j) {
        const float* node = C.Row(j);
        for (std::int32_t i = 0; i < C.XCount; ++i, node += C.NodeFloats) {
            const float v = *node;
            if (!std::isfinite(v))
                continue;
            if (!found) {
                lo = hi = v;
                found = true;
            } else if (v < lo) {
                lo = v;
            } else if (v > hi) {
                hi = v;
            }
        }
        Done(RowDone);
    }
    const bool flat = !found || lo >= hi;
    const float a = flat ? 0.0f : float((Max - Min) / (double(hi) - double(lo)));
    const float b = flat ? float(Max) : float(Min - double(lo) * double(a));
    for (std::int32_t j = 0; j < C.YCount; ++j) {
        float* node = C.Row(j);
        for (std::int32_t i = 0; i < C.XCount; ++i, node += C.NodeFloats)
            *node = flat ? b : float(double(a) * double(*node) + double(b));
        Done(RowDone);
    }
}
