# The long run: many reloads with capture and scrubbing, then memory, descriptors, children,
# textures and display lists compared with their level after the first reload.
# SKYLOOM_SOAK_RELOADS sets the number of reloads.
skyloom_e2e_test(soak_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/soak_reload_e2e.cpp)
