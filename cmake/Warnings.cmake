# The warnings every host target is built with; any warning fails the build.
# The firmware has its own, stricter set (firmware/Sources.cmake).
add_library(sio_host_warnings INTERFACE)
target_compile_options(sio_host_warnings INTERFACE -Wall -Wextra -Werror)
