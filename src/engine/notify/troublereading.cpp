#include "troublereading.h"

#include "engine/reception/valuenumber.h"

TroubleReading TroubleReading::split(const QString &name, QStringView value, const QDateTime &time)
{
    const QStringView text = value.trimmed();
    const ValueNumber number = ValueNumber::read(text);
    if (!number.ok || number.unit.isEmpty())
        return {name, text.toString(), {}, time};
    const QStringView before = text.first(number.unit.data() - text.data()).trimmed();
    return {name, before.toString(), number.unit.toString(), time};
}
