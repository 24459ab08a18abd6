@echo off
rem Removes "Convert with Sectify" from the right-click menu of .fxml files,
rem as "Add to Explorer.cmd" added it for the current user.
setlocal
set "key=HKCU\Software\Classes\SystemFileAssociations\.fxml\shell\Sectify"
reg query "%key%" >nul 2>&1
if errorlevel 1 (
  echo "Convert with Sectify" is not in the right-click menu: nothing to remove.
  set status=0
  goto end
)
reg delete "%key%" /f >nul
if errorlevel 1 (
  echo "Convert with Sectify" could not be removed from the right-click menu.
  set status=1
  goto end
)
echo Removed "Convert with Sectify" from the right-click menu of .fxml files.
set status=0
:end
rem Opened from Explorer, the window stays until it has been read.
echo %cmdcmdline% | find /i "%~nx0" >nul && pause
exit /b %status%
