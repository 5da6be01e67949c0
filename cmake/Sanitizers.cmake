# With NORVANE_SANITIZE on, every target of the project is built and linked with
# AddressSanitizer and UndefinedBehaviorSanitizer.
if(NORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
