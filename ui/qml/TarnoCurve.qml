import QtQuick
import Tarno.Ui

// One of the standard curves ("easeIn", "easeOut", "easeInOut") over a duration in seconds.
PropertyAnimation {
    property string curve: "easeInOut"
    property real seconds: 0.25

    duration: Math.round(seconds * 1000)
    easing.type: Easing.BezierSpline
    easing.bezierCurve: curve === "easeIn" ? Motion.easeIn : curve === "easeOut" ? Motion.easeOut : Motion.easeInOut
}
