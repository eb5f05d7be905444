#pragma once

// Common base of the settings of every port kind; each port keeps a copy of
// its own concrete kind.
class CLASS_UNIVERSALPORT_SETTINGS
{
public:
    CLASS_UNIVERSALPORT_SETTINGS() = default;
    CLASS_UNIVERSALPORT_SETTINGS(const CLASS_UNIVERSALPORT_SETTINGS&) = default;
    CLASS_UNIVERSALPORT_SETTINGS& operator=(const CLASS_UNIVERSALPORT_SETTINGS&) = default;
    virtual ~CLASS_UNIVERSALPORT_SETTINGS();
};
