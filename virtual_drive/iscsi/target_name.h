// The targets one server offers: a name per volume and the logical unit behind it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"

namespace vdrive::iscsi {

// "iqn.2026-12.org.tessalok:vdrive-x" for drive letter X.
std::string TargetNameFor(char letter);

struct Target {
    std::string name;
    std::unique_ptr<IScsiLogicalUnit> unit; // LUN 0
};

using TargetList = std::vector<Target>;

const Target* FindTarget(const TargetList& targets, const std::string& name);

} // namespace vdrive::iscsi
