#include "console/DfuHandOver.h"

#include <algorithm>

namespace service {
namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

DfuHandOver::DfuHandOver(std::vector<std::string> before, std::vector<std::string> bound)
    : before_(std::move(before)), bound_(std::move(bound)) {}

std::string DfuHandOver::Look(const std::vector<std::string>& listed) {
    unboundOld_.clear();
    for (const std::string& name : listed) {
        if (Contains(bound_, name)) continue;
        if (!Contains(before_, name) || Contains(left_, name)) return name;
        unboundOld_.push_back(name);
    }
    for (const std::string& name : before_) {
        if (!Contains(listed, name) && !Contains(left_, name)) left_.push_back(name);
    }
    return {};
}

std::string DfuHandOver::Fallback() const {
    return unboundOld_.size() == 1 ? unboundOld_.front() : std::string();
}

}  // namespace service
