# Runs at install time: lays out the portable folder. The sample drug file is made only when
# the folder has none (it may hold the user's own drugs), and the desktop file names the
# program and icon where they were installed.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(NOT EXISTS "${folder}/qintabo.m")
    execute_process(COMMAND "${CMAKE_COMMAND}"
        -DTOOL=${folder}/xiyao-db -DCSV=${folder}/sample/drugs.csv -DDB=${folder}/qintabo.m
        -P "${folder}/sample/MakeSampleDatabase.cmake"
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "the sample drug file could not be made")
    endif()
    message(STATUS "Sample drug file: ${folder}/qintabo.m")
else()
    message(STATUS "Kept the drug file: ${folder}/qintabo.m")
endif()
set(XIYAO_PROGRAM "${CMAKE_INSTALL_PREFIX}/xiyao")
set(XIYAO_FOLDER "${CMAKE_INSTALL_PREFIX}")
set(XIYAO_ICON "${CMAKE_INSTALL_PREFIX}/xiyao.png")
configure_file("${folder}/desktop/xiyao.desktop.in" "${folder}/xiyao.desktop" @ONLY)
file(CHMOD "${folder}/xiyao.desktop" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ WORLD_READ)
