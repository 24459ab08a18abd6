@echo off
rem Adds "Convert with Sectify" to the right-click menu of .fxml files, for
rem the current user only: no administrator rights are needed. It runs the
rem Sectify.exe beside this script; after moving both, run this again.
setlocal
set "key=HKCU\Software\Classes\SystemFileAssociations\.fxml\shell\Sectify"
set "program=%~dp0Sectify.exe"
if not exist "%program%" (
  echo Sectify.exe is not beside this script, in %~dp0: nothing was added.
  set status=1
  goto end
)
reg add "%key%" /ve /d "Convert with Sectify" /f >nul
if not errorlevel 1 reg add "%key%\command" /ve /d "\"%program%\" \"%%1\"" /f >nul
if errorlevel 1 (
  echo "Convert with Sectify" could not be added to the right-click menu.
  set status=1
  goto end
)
echo Added "Convert with Sectify" to the right-click menu of .fxml files, for
echo %USERNAME% only. It runs %program%.
echo On Windows 11 it is under "Show more options".
set status=0
:end
rem Opened from Explorer, the window stays until it has been read.
echo %cmdcmdline% | find /i "%~nx0" >nul && pause
exit /b %status%
