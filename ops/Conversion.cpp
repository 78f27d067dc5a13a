#include "ops/Conversion.h"

#include "ops/CountText.h"

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

std::string LossText(const TVersionLoss& Loss, int Version) {
    std::string Text = "version " + std::to_string(Version) + " cannot hold ";
    if (Loss.TypeOrData != 0)
        Text += "the type or data of " + GroupThousands(static_cast<long long>(Loss.TypeOrData)) +
                " objects";
    if (Loss.TypeOrData != 0 && Loss.TiltOrRoll != 0)
        Text += " and ";
    if (Loss.TiltOrRoll != 0)
        Text += "the tilt or roll of " + GroupThousands(static_cast<long long>(Loss.TiltOrRoll)) +
                " objects";
    return Text;
}
