# Runs at install time: lays out the portable folder. The sample drug file is made only when
# the folder has none (it may hold the user's own drugs), and the program writes its desktop
# entry with the paths where it was installed.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(NOT EXISTS "${folder}/qintabo.m")
    execute_process(COMMAND "${CMAKE_COMMAND}"
        -DTOOL=${folder}/xiyao-db -DCSV=${folder}/sample/drugs.csv -DDB=${folder}/qintabo.m
        -P "${XIYAO_SAMPLE_SCRIPT}"
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "the sample drug file could not be made")
    endif()
    message(STATUS "Sample drug file: ${folder}/qintabo.m")
else()
    message(STATUS "Kept the drug file: ${folder}/qintabo.m")
endif()
# Files that earlier installs left in the folder and that only the build needs.
file(REMOVE "${folder}/sample/MakeSampleDatabase.cmake" "${folder}/desktop/xiyao.desktop.in")
file(GLOB left "${folder}/desktop/*")
if(IS_DIRECTORY "${folder}/desktop" AND NOT left)
    file(REMOVE_RECURSE "${folder}/desktop")
endif()
# The entry names the folder the program will run from, without any DESTDIR staging prefix
# (the program looks for itself under DESTDIR, which this script runs it with).
execute_process(COMMAND "${folder}/xiyao" --install-desktop-entry "${folder}" "${CMAKE_INSTALL_PREFIX}"
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the desktop entry could not be written")
endif()
