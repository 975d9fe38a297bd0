import QtQuick
import Tarno.Ui

// A spring as a property animation: the damped oscillator of natural frequency 2π / response and
// the given damping fraction, released from rest, sampled into a Bézier easing curve that lasts
// until it has settled. Numbers and colours alike.
PropertyAnimation {
    property real response: 0.5
    property real dampingFraction: 0.825

    duration: Motion.springDuration(response, dampingFraction)
    easing.type: Easing.BezierSpline
    easing.bezierCurve: Motion.springCurve(response, dampingFraction)
}
