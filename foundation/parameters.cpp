#include "foundation/parameters.hpp"

#include "foundation/format.hpp"
#include "foundation/log.hpp"

void gf_logStringParameter(const StringParameter& parameter)
{
    gf_logUnlessStopping(vald::format("{}=\"{}\"", parameter.name(), parameter.value()));
}

void gf_logBoolParameter(const BoolParameter& parameter)
{
    gf_logUnlessStopping(vald::format("{}={}", parameter.name(), parameter.value() ? "true" : "false"));
}

void gf_logIntParameter(const IntParameter& parameter)
{
    gf_logUnlessStopping(vald::format("{}={}", parameter.name(), parameter.value()));
}

std::string gf_stringParamValue(const StringParameter& parameter) { return parameter.value(); }
