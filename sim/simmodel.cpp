#include "simmodel.h"

#include <array>

namespace {
// Reply texts are at least ten characters and hold the model word, which is all the panel reads.
const std::array<SimModelInfo, 3> kModels{{
    {SimModel::Kelda, "KELDA-01", 2, false, "KELDA-01 Ver 1.20"},
    {SimModel::Runel, "RUNEL-01", 2, true, "RUNEL-01 Ver 1.20"},
    {SimModel::Vasko, "VASKO-01", 4, true, "VASKO-01 Ver 1.20"},
}};
}  // namespace

const SimModelInfo& simModelInfo(SimModel model) {
    return kModels.at(static_cast<std::size_t>(model));
}

std::optional<SimModel> simModelFromName(const QString& name) {
    for (const SimModelInfo& info : kModels) {
        if (name.compare(QString::fromLatin1(info.name), Qt::CaseInsensitive) == 0) {
            return info.model;
        }
    }
    return std::nullopt;
}
