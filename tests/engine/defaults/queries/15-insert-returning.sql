insert into users (email, display_name) values ('ann@example.org', 'Ann') on conflict (email) do nothing returning user_id
