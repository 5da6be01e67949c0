# The hardening Debian builds its packages with (dpkg-buildflags): position-independent
# executables, stack protection, checked string and memory functions where optimising, format
# strings checked, and relocations read-only once loaded. The echo helper carries cap_net_raw,
# and every program here reads bytes from the network.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                    "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
add_link_options(-Wl,-z,relro,-z,now)
