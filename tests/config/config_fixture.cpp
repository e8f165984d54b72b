#include "tests/config/config_fixture.h"

#include "base/nx_xml_writer.h"

namespace cfgtest {

void value_signal::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    if (!signal_.empty())
        writer.attribute("sk", xml_escape(signal_));
    if (!expression_.empty())
        writer.attribute("ex", xml_escape(expression_));
}

} // namespace cfgtest
