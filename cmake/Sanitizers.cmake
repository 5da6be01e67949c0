# norvane_sanitize(target): AddressSanitizer and UndefinedBehaviorSanitizer when
# NORVANE_SANITIZE is on.
function(norvane_sanitize target)
    if(NORVANE_SANITIZE)
        target_compile_options(${target} PRIVATE
            -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()
