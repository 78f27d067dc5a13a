#include "ops/Conversion.h"

void TVersionLoss::Add(const TPropObject& Object, int ToVersion) {
    // The writer writes only the data bytes that are there, however many DataLength claims.
    if (ToVersion < 4 &&
        (Object.ObjectType != 0 || (Object.DataLength > 0 && !Object.Data.empty())))
        ++TypeOrData;
    if (ToVersion < 3 && (Object.Tilt != 0 || Object.Roll != 0))
        ++TiltOrRoll;
}

TVersionLoss& TVersionLoss::operator+=(const TVersionLoss& Other) {
    TypeOrData += Other.TypeOrData;
    TiltOrRoll += Other.TiltOrRoll;
    return *this;
}

void ConvertObject(TPropObject& Object, int ToVersion) {
    if (ToVersion < 4) {
        Object.ObjectType = 0;
        Object.DataLength = 0;
        Object.Data.clear();
    }
    if (ToVersion < 3) {
        Object.Tilt = 0;
        Object.Roll = 0;
    }
}
