#include "config/config_manager.h"

#include <string>
#include <system_error>

#include "base/exception_name.h"
#include "config/ini_file.h"

namespace vorlane {

namespace {

constexpr const char* general_section = "Vorlane";
constexpr const char* input_section = "QXInput";
constexpr const char* default_input_format = "header8";

std::string input_key(int input, const char* name) {
    return "input_" + std::to_string(input) + "_" + name;
}

void write_unless_default(ini_file& ini, const std::string& key, const std::string& value,
                          const char* fallback) {
    if (value != fallback || ini.read_value(input_section, key).has_value())
        ini.write_string(input_section, key, value);
}

}  // namespace

void set_defaults(config_manager& config) {
    config.input_ip = "0.0.0.0";
    config.output_ip = "0.0.0.0";
    config.max_log_lines = 1024;
    config.output_port[0] = 14001;
    config.output_port[1] = 14002;
    config.input_src_ip[0] = "172.31.24.10";
    config.input_src_ip[1] = "172.31.24.11";
    config.input_dest_ip[0] = "172.31.24.1";
    config.input_dest_ip[1] = "172.31.24.1";
    config.input_port[0] = 10021;
    config.input_port[1] = 10021;
    config.input_format[0] = config.input_format[1] = default_input_format;
    config.input_sources[0].clear();
    config.input_sources[1].clear();
    config.input_src_mac[0].clear();
    config.input_src_mac[1].clear();
    config.locked = false;
    config.last_error.clear();
}

bool read_config(config_manager& config, const std::filesystem::path& file) {
    try {
        ini_file ini;
        try {
            ini = ini_file::load(file);
        } catch (const std::system_error&) {
            config.last_error = "Error QXE-612: Failed to read config file";
            return false;
        }

        config.input_ip = ini.read_string(general_section, "input_ip", config.input_ip);
        config.output_ip = ini.read_string(general_section, "output_ip", config.output_ip);
        config.max_log_lines = ini.read_int(general_section, "max_log_lines", config.max_log_lines);
        config.locked = ini.read_bool(general_section, "locked", config.locked);
        // Output 1 listens on the port after output 0, and port 0 would let the system choose
        // a port nobody asked for: a first port outside 1 to 65534 is treated like any other
        // value that is no usable number.
        std::int32_t first_port = ini.read_int(general_section, "first_output_port", config.output_port[0]);
        if (first_port < 1 || first_port > 65534) first_port = config.output_port[0];
        config.output_port[0] = first_port;
        config.output_port[1] = first_port + 1;

        for (int i = 0; i < 2; ++i) {
            config.input_port[i] = ini.read_int(input_section, input_key(i, "port"), config.input_port[i]);
            config.input_src_ip[i] =
                ini.read_string(input_section, input_key(i, "src_ip"), config.input_src_ip[i]);
            config.input_dest_ip[i] =
                ini.read_string(input_section, input_key(i, "dest_ip"), config.input_dest_ip[i]);
            config.input_format[i] =
                ini.read_string(input_section, input_key(i, "format"), config.input_format[i]);
            config.input_sources[i] =
                ini.read_string(input_section, input_key(i, "sources"), config.input_sources[i]);
            config.input_src_mac[i] =
                ini.read_string(input_section, input_key(i, "src_mac"), config.input_src_mac[i]);
        }
        return true;
    } catch (const std::exception& e) {
        config.last_error = "Error QXE-611: " + exception_name(e);
        return false;
    }
}

bool write_config(config_manager& config, const std::filesystem::path& file) {
    try {
        ini_file ini;
        try {
            ini = ini_file::load(file);
        } catch (const std::system_error&) {
            config.last_error = "Error QXE-609: Failed to write config file";
            return false;
        }

        ini.write_string(general_section, "input_ip", config.input_ip);
        ini.write_string(general_section, "output_ip", config.output_ip);
        ini.write_int(general_section, "first_output_port", config.output_port[0]);
        ini.write_int(general_section, "max_log_lines", config.max_log_lines);
        ini.write_bool(general_section, "locked", config.locked);
        for (int i = 0; i < 2; ++i) {
            ini.write_int(input_section, input_key(i, "port"), config.input_port[i]);
            ini.write_string(input_section, input_key(i, "src_ip"), config.input_src_ip[i]);
            ini.write_string(input_section, input_key(i, "dest_ip"), config.input_dest_ip[i]);
            // A file of junction boxes with the 8-byte header stays line for line as it always
            // was: these keys are written once they hold something else, or are there already.
            write_unless_default(ini, input_key(i, "format"), config.input_format[i], default_input_format);
            write_unless_default(ini, input_key(i, "sources"), config.input_sources[i], "");
            write_unless_default(ini, input_key(i, "src_mac"), config.input_src_mac[i], "");
        }
        ini.save(file);
        return true;
    } catch (const std::exception& e) {
        config.last_error = "Error QXE-610: " + exception_name(e);
        return false;
    }
}

std::string take_error(config_manager& config) {
    std::string error = std::move(config.last_error);
    config.last_error.clear();
    return error;
}

}  // namespace vorlane
