#include "bench/Model.h"

namespace tq::bench {

bool Has(Model model, Capability capability) {
    switch (capability) {
    case Capability::Temperature:
        return Info(model).hasTemperature;
    }
    return false;
}

Error MissingError(Model model, Capability capability) {
    const char* what = "";
    switch (capability) {
    case Capability::Temperature:
        what = "temperature readout";
        break;
    }
    return Error{Error::Kind::Missing,
                 "the " + std::string(ModelName(model)) + " board has no " + what};
}

} // namespace tq::bench
