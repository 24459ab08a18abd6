@echo off
rem Removes "Convert with Sectify" from the right-click menu of .fxml files,
rem as "Add to Explorer.cmd" added it for the current user, and the keys
rem above it that nothing else uses. No line reads
rem this script's folder, so it runs from any folder; every reg command is
rem forced (/f) and reads no answer (<nul).
setlocal DisableDelayedExpansion
rem A lone quote: set "name=value" ends at the last quote of the line.
set "quote=""
setlocal EnableDelayedExpansion
set "key=HKCU\Software\Classes\SystemFileAssociations\.fxml\shell\Sectify"
set status=0
reg query "!key!" <nul >nul 2>&1
if errorlevel 1 goto absent
reg delete "!key!" /f <nul >nul 2>&1
if errorlevel 1 goto failed
call :remove_empty_parents
echo Removed "Convert with Sectify" from the right-click menu of .fxml files.
goto end
:absent
call :remove_empty_parents
echo "Convert with Sectify" is not in the right-click menu: nothing to remove.
goto end
:failed
echo "Convert with Sectify" could not be removed from the right-click menu.
set status=1
:end
rem Explorer's window alone pauses, as in "Add to Explorer.cmd".
if "!cmdcmdline:~-3!"=="!quote! !quote!" pause
exit /b %status%

rem Removes the keys above the entry that adding it may have made, each
rem only while nothing else is in it.
:remove_empty_parents
set "types=HKCU\Software\Classes\SystemFileAssociations"
call :remove_if_empty "!types!\.fxml\shell" "\shell\"
call :remove_if_empty "!types!\.fxml" "\.fxml\"
call :remove_if_empty "!types!" "\SystemFileAssociations\"
exit /b 0

rem Removes the key %1 if it has no value and no subkey: reg query lists
rem each subkey by a path holding %2, which the key's own path does not
rem hold, and each value with its type, REG_ and a name.
:remove_if_empty
reg query %1 /s <nul 2>nul | find %2 >nul
if not errorlevel 1 exit /b 0
reg query %1 /s <nul 2>nul | find "REG_" >nul
if not errorlevel 1 exit /b 0
reg delete %1 /f <nul >nul 2>&1
exit /b 0
