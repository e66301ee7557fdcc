#include "tests/engine/EngineFakes.h"

#include "engine/GenericException.h"

namespace engine_test {

std::string ThrownText(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const CGenericException& e) {
        return e.GetMessageText();
    }
    return "(no exception)";
}

}  // namespace engine_test
