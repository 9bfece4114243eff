#include "viewer3d/forms/NavigatorState.h"

std::int32_t TSNavigatorState::Write(TSObjectsStream* Stream) const
{
    const std::int32_t values[8] = {static_cast<std::int32_t>(Master),
                                    static_cast<std::int32_t>(Slave),
                                    Convention,
                                    StepExponent,
                                    Flags,
                                    Order,
                                    Left,
                                    Top};
    Stream->Write(values, Size);
    return Size;
}

TSNavigatorState TSNavigatorState::Read(TSObjectsStream* Stream, const TObject* Owner)
{
    std::int32_t values[8] = {};
    Stream->Read(values, Size);
    TSNavigatorState state;
    state.Master = static_cast<std::uint32_t>(values[0]);
    state.Slave = static_cast<std::uint32_t>(values[1]);
    state.Convention = values[2];
    state.StepExponent = values[3];
    state.Flags = values[4];
    state.Order = values[5];
    state.Left = values[6];
    state.Top = values[7];
    if (state.Convention < 1 || state.Convention > 3 || state.StepExponent < 0 || state.StepExponent > 6)
        throw EStreamError(ObjectErrorText(Owner, sCantLoad, sInvalidValue));
    return state;
}
