#include "config/config_manager.h"

#include <string>
#include <system_error>
#include <type_traits>
#include <variant>

#include "base/error_texts.h"
#include "config/ini_file.h"
#include "config/setting_keys.h"
#include "config/text_file.h"

namespace vorlane {

namespace {

// Runs `use` on the key's field of the record: a std::string, std::int32_t or bool.
template <class Use>
void with_field(config_manager& config, const setting_key& key, int input, Use use) {
    std::visit(
        [&](auto member) {
            auto& field = config.*member;
            if constexpr (std::is_array_v<std::remove_reference_t<decltype(field)>>)
                use(field[input]);
            else
                use(field);
        },
        key.field);
}

// Runs `use` for every key of the file in its order, with the input number of a key of each input.
template <class Use>
void for_each_key(Use use) {
    for (const setting_key& key : setting_keys())
        if (!is_per_input(key)) use(key, 0);
    for (int input = 0; input < junction_box_count; ++input)
        for (const setting_key& key : setting_keys())
            if (is_per_input(key)) use(key, input);
}

// Each further output listens on the port after the one before; the file holds only the first.
void derive_further_output_ports(config_manager& config) {
    for (int output = 1; output < output_count; ++output)
        config.output_port[output] = config.output_port[0] + output;
}

}  // namespace

void set_defaults(config_manager& config) {
    for_each_key([&config](const setting_key& key, int input) {
        with_field(config, key, input, [&](auto& field) {
            using type = std::remove_reference_t<decltype(field)>;
            if constexpr (std::is_same_v<type, std::string>)
                field = key.text_default[input];
            else if constexpr (std::is_same_v<type, bool>)
                field = key.number_default != 0;
            else
                field = key.number_default;
        });
    });
    derive_further_output_ports(config);
    config.last_error.clear();
}

bool read_config(config_manager& config, const std::filesystem::path& file) {
    try {
        ini_file ini;
        try {
            ini = ini_file::load(file);
        } catch (const refused_file& e) {
            config.last_error = e.what();
            return false;
        } catch (const std::system_error&) {
            config.last_error = error_text(reported_error::settings_file_unreadable);
            return false;
        }

        for_each_key([&](const setting_key& key, int input) {
            const std::string name = key_name(key, input);
            with_field(config, key, input, [&](auto& field) {
                using type = std::remove_reference_t<decltype(field)>;
                if constexpr (std::is_same_v<type, std::string>) {
                    field = ini.read_string(key.section, name, field);
                } else if constexpr (std::is_same_v<type, bool>) {
                    field = ini.read_bool(key.section, name, field);
                } else {
                    // A number outside the key's range is treated like any other value that is
                    // no usable number.
                    const std::int32_t value = ini.read_int(key.section, name, field);
                    if (key.range.holds(value)) field = value;
                }
            });
        });
        derive_further_output_ports(config);
        return true;
    } catch (const std::exception& e) {
        config.last_error = error_text(reported_error::settings_read_raised, e);
        return false;
    }
}

bool write_config(config_manager& config, const std::filesystem::path& file) {
    try {
        ini_file ini;
        try {
            ini = ini_file::load(file);
        } catch (const refused_file& e) {
            config.last_error = e.what();
            return false;
        } catch (const std::system_error&) {
            config.last_error = error_text(reported_error::settings_file_unwritable);
            return false;
        }

        for_each_key([&](const setting_key& key, int input) {
            const std::string name = key_name(key, input);
            with_field(config, key, input, [&](auto& field) {
                using type = std::remove_reference_t<decltype(field)>;
                std::string value;
                bool is_default = false;
                if constexpr (std::is_same_v<type, std::string>) {
                    value = field;
                    is_default = field == key.text_default[input];
                } else if constexpr (std::is_same_v<type, bool>) {
                    value = field ? "1" : "0";
                    is_default = field == (key.number_default != 0);
                } else {
                    value = std::to_string(field);
                    is_default = field == key.number_default;
                }
                if (key.written == key_written::always || !is_default ||
                    ini.read_value(key.section, name).has_value())
                    ini.write_string(key.section, name, value);
            });
        });
        ini.save(file);
        return true;
    } catch (const refused_file& e) {
        config.last_error = e.what();
        return false;
    } catch (const std::exception& e) {
        config.last_error = error_text(reported_error::settings_write_failed, e);
        return false;
    }
}

std::string take_error(config_manager& config) {
    std::string error = std::move(config.last_error);
    config.last_error.clear();
    return error;
}

const std::string& source_ip(const config_manager& config, int lan, int box) {
    const std::string& own = config.input_src_ip_b[box];
    return lan == lan_b && !own.empty() ? own : config.input_src_ip[box];
}

const std::string& destination_ip(const config_manager& config, int lan, int box) {
    const std::string& own = config.input_dest_ip_b[box];
    return lan == lan_b && !own.empty() ? own : config.input_dest_ip[box];
}

const std::string& lan_adapter_ip(const config_manager& config, int lan) {
    return lan == lan_b ? config.input_ip_b : config.input_ip;
}

}  // namespace vorlane
