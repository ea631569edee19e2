# Makes the Windows installer the same from every build of a commit (cmake -P, with SOURCE_DATE_EPOCH
# in the environment and EXE, MSI, VERSION, PRODUCT_CODE and UPGRADE_CODE defined): wixl and
# msibuild run with the clock stopped at the source date, on a copy of Mivo.exe that carries that
# date, and the package code, which must change whenever the content does, is derived from it.
string(TIMESTAMP date "%Y-%m-%d %H:%M:%S" UTC)  # SOURCE_DATE_EPOCH's
set(ENV{TZ} UTC)
set(stopped faketime -f ${date})
get_filename_component(stage ${MSI} DIRECTORY)
set(stage ${stage}/msi-stage)
file(REMOVE_RECURSE ${stage})
file(COPY ${EXE} DESTINATION ${stage})
execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${stage}/Mivo.exe COMMAND_ERROR_IS_FATAL ANY)
file(RELATIVE_PATH build ${CMAKE_CURRENT_LIST_DIR} ${stage})  # wixl takes no absolute paths
execute_process(COMMAND ${stopped} wixl -a x64 -D Build=${build} -D Version=${VERSION}
                        -D ProductCode=${PRODUCT_CODE} -D UpgradeCode=${UPGRADE_CODE} -o ${MSI} mivo.wxs
                WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR} COMMAND_ERROR_IS_FATAL ANY)
# wixl leaves the Japanese texts out of the tables; they go in once the code page is UTF-8.
file(WRITE ${stage}/_ForceCodepage.idt "\r\n\r\n65001\t_ForceCodepage\r\n")
execute_process(COMMAND ${stopped} msibuild ${MSI} -i ${stage}/_ForceCodepage.idt
                        -q "UPDATE Shortcut SET Description = '消費税計算機'"
                        -q "UPDATE LaunchCondition SET Description = '新しいバージョンの Mivo がインストールされています。'"
                WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR} COMMAND_ERROR_IS_FATAL ANY)
# wixl draws the package code at random: set none first, then one derived from all the rest.
function(set_package_code code)
  execute_process(COMMAND ${stopped} msibuild ${MSI} -s 消費税計算機 "The Mivo developers" "x64;1041"
                          {${code}} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
set_package_code(00000000-0000-0000-0000-000000000000)
file(SHA256 ${MSI} content)
string(UUID package_code NAMESPACE ${UPGRADE_CODE} NAME ${content} TYPE SHA1 UPPER)
set_package_code(${package_code})
