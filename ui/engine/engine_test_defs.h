// Window definitions the engine's tests open.
#ifndef VORSANDT_UI_ENGINE_ENGINE_TEST_DEFS_H_
#define VORSANDT_UI_ENGINE_ENGINE_TEST_DEFS_H_

namespace vorsandt::ui {

inline constexpr char kTestWindows[] = R"(resource: TEST01_RSC
id: TESTS$TEST01
structures:
  - window: T$FORM
    caption: Form
    controls:
      - prompt: "&Name:"
      - entry: name
        picture: "@s20"
      - entry:
        use: {variable: count, type: long, size: 4}
      - check: Active
        use: {variable: active, type: string, size: 1}
      - list: "80L|M~NAME~@s20@"
        paged: true
        alert: [45]
        at: [0, 0, 100, 90]
      - sheet:
        tabs:
          - tab: One
            controls:
              - string: on one
          - tab: Two
      - button: OK
        use: "?OK"
        default: true
      - button: Close
        action: 15
      - list: "50L@s10@"
        at: [4, 4, default, default]
  - window: T$FRAME
    frame: true
    caption: Frame
    menubar:
      - menu: "&File"
        items:
          - item: "E&xit"
            number: -1
            action: 15
          - item: "T&ile"
            number: -2
            action: 2
          - item: Start
            number: -3
      - menu: "&Help"
        items:
          - item: "&Contents"
            number: -4
            action: 5
          - item: "&Search for Help On..."
            number: -5
            action: 7
          - item: "&How to Use Help"
            number: -6
            action: 6
  - window: T$CHILD
    child: true
    caption: Child
  - window: T$TIMED
    caption: Timed
    timer: 1
  - window: T$DROPS
    caption: Drops
    alert: [112]
    controls:
      - list: "40L@s10@"
        use: colour
        drop: 5
      - entry: note
      - list: "40L@s10@"
        drop: true
      - box:
        colours: [0x0000FF, 0xFFFFFFFF]
  - window: T$RECORD
    caption: Record
    controls:
      - entry: T:NAME
      - entry: T:COUNT
        picture: "@n6"
      - entry: t:price
        picture: "@n10.2"
      - entry: T:WHEN
        picture: "@D6"
      - entry: T:MISSING
      - button: OK
      - textbox: T:NOTES
)";

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_ENGINE_TEST_DEFS_H_
